/* A C program that uses only the installed header and links the library.
 *
 * Without arguments it prints the Program Files folder (the install test).
 * With "--round-trip TAG" it writes a record of every kind through the
 * narrow and the wide writer and reads each back as the newest record of the
 * newest file of its kind (every field in its place is the writers test's
 * affair); it prints what differs and ends with 1 then. */
#include <qorlog/qorlog.h>
#include <stdio.h>
#include <string.h>
#ifdef _WIN32
#include <wchar.h>
#endif

/* Widens ASCII text into a wide field. */
static void Widen(WCHAR* dest, size_t capacity, const char* text) {
  size_t i;
  for (i = 0; text[i] != 0 && i + 1 < capacity; ++i) dest[i] = (WCHAR)(unsigned char)text[i];
  dest[i] = 0;
}

/* 1 when the wide field holds exactly the ASCII text. */
static int SameText(const WCHAR* field, const char* text) {
  size_t i;
  for (i = 0; text[i] != 0; ++i) {
    if (field[i] != (WCHAR)(unsigned char)text[i]) return 0;
  }
  return field[i] == 0;
}

#ifdef _WIN32
/* A narrow text with a character outside ASCII ("cafe" with an acute e in the
 * Western code pages): the narrow writers take it in the ANSI code page, so it
 * must read back as the system converts it. */
#define NON_ASCII " caf\xE9"
static int SameAnsiText(const WCHAR* field, const char* text) {
  WCHAR expected[260];
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, expected, 260) == 0) return 0;
  return wcscmp(field, expected) == 0;
}
#else
#define NON_ASCII ""
#define SameAnsiText SameText
#endif

static int g_failures = 0;

static void Check(int ok, const char* what, const char* tag) {
  if (!ok) {
    printf("%s: %s differs\n", tag, what);
    ++g_failures;
  }
}

/* Opens the newest file of a kind; the handle is closed by the caller. */
static void* OpenNewest(DWORD kind) {
  stLOG_FILE_ITEM* files = NULL;
  void* log = NULL;
  const DWORD count = QORLOG_GetLogFileCnt(kind, &files);
  if (count == 0) return NULL;
  if (QORLOG_OpenLogFiles((int)count - 1, &files, &log) != QORLOG_STATUS_OK) {
    QORLOG_CloseLog(log);
    log = NULL;
  }
  QORLOG_FreeLogHeader((stLOG_HEADER*)files); /* any free function takes the list back */
  return log;
}

/* Writes a record of `kind` through its narrow or wide writer, with `text` in
 * szText260 (a field of every kind) and 11 in dwSubCode. */
static DWORD Write(DWORD kind, const char* text, int wide) {
  stPC_SCAN_LOG_A pa = {0};
  stPC_SCAN_LOG_W pw = {0};
  stFW_LOG_A fa = {0};
  stFW_LOG_W fw = {0};
  stSIMPLE_LOG_A sa = {0};
  stSIMPLE_LOG_W sw = {0};
  pa.dwSubCode = pw.dwSubCode = fa.dwSubCode = fw.dwSubCode = sa.dwSubCode = sw.dwSubCode = 11;
  strcpy(pa.szText260, text);
  strcpy(fa.szText260, text);
  strcpy(sa.szText260, text);
  Widen(pw.szText260, 260, text);
  Widen(fw.szText260, 260, text);
  Widen(sw.szText260, 260, text);
  if (kind == QORLOG_KIND_PCSCAN) return wide ? QORLOG_WritePCScanLogW(&pw) : QORLOG_WritePCScanLogA(&pa);
  if (kind == QORLOG_KIND_FIREWALL) return wide ? QORLOG_WriteFWLogW(&fw) : QORLOG_WriteFWLogA(&fa);
  return wide ? QORLOG_WriteSimpleLogW(kind, &sw) : QORLOG_WriteSimpleLogA(kind, &sa);
}

/* 1 when a record read back holds what Write stored: the time of the append,
 * dwSubCode 11, and the text as the narrow or the wide writer took it. */
static int Holds(SYSTEMTIME time, DWORD sub_code, const WCHAR* stored, const char* text, int wide) {
  return time.wYear >= 2024 && sub_code == 11 && (wide ? SameText(stored, text) : SameAnsiText(stored, text));
}

/* 1 when the newest record of `kind` holds what Write stored. */
static int ReadsBack(DWORD kind, const char* text, int wide) {
  void* log = OpenNewest(kind);
  stPC_SCAN_LOG_W* pc = NULL;
  stFW_LOG_W* fw = NULL;
  stSIMPLE_LOG_W* simple = NULL;
  DWORD count = 0;
  int same = 0;
  if (kind == QORLOG_KIND_PCSCAN) {
    if (QORLOG_ReadPCScanLogArray(log, &pc, &count) == QORLOG_STATUS_OK && count > 0) {
      same = Holds(pc[0].stTime, pc[0].dwSubCode, pc[0].szText260, text, wide);
      QORLOG_FreePCScanLogArray(pc);
    }
  } else if (kind == QORLOG_KIND_FIREWALL) {
    if (QORLOG_ReadFWLogArray(log, &fw, &count) == QORLOG_STATUS_OK && count > 0) {
      same = Holds(fw[0].stTime, fw[0].dwSubCode, fw[0].szText260, text, wide);
      QORLOG_FreeFWLogArray(fw);
    }
  } else if (QORLOG_ReadSimpleLogArray(log, &simple, &count) == QORLOG_STATUS_OK && count > 0) {
    same = Holds(simple[0].stTime, simple[0].dwSubCode, simple[0].szText260, text, wide);
    QORLOG_FreeSimpleLogArray(simple);
  }
  QORLOG_CloseLog(log);
  return same;
}

static int RoundTrip(const char* tag) {
  const DWORD kinds[] = {QORLOG_KIND_PCSCAN, QORLOG_KIND_FIREWALL, QORLOG_KIND_ANTIKEYLOGGER, QORLOG_KIND_SECUREBROWSER,
                         QORLOG_KIND_PELLORA};
  char text[96];
  int wide;
  size_t i;
  for (wide = 0; wide <= 1; ++wide) {
    for (i = 0; i < sizeof kinds / sizeof kinds[0]; ++i) {
      snprintf(text, sizeof text, "kind %lu %s %s%s", (unsigned long)kinds[i], wide ? "W" : "A", tag,
               wide ? "" : NON_ASCII);
      Check(Write(kinds[i], text, wide) == QORLOG_STATUS_OK, "write status", text);
      Check(ReadsBack(kinds[i], text, wide), "record read back", text);
    }
  }
  if (g_failures == 0) printf("every record kind written and read back\n");
  return g_failures == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
  WCHAR buf[260];
  char out[260];
  size_t i;
  if (argc == 3 && strcmp(argv[1], "--round-trip") == 0) return RoundTrip(argv[2]);
  if (QORLOG_GetProgramFilesPath(buf, 260) != QORLOG_STATUS_OK) return 1;
  for (i = 0; buf[i] != 0 && i < 259; ++i) out[i] = (char)buf[i]; /* ASCII test path */
  out[i] = 0;
  printf("%s\n", out);
  return sizeof(stFW_LOG_W) == 804 ? 0 : 2;
}
