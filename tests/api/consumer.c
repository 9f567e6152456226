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

static void PcScan(const char* text, int wide) {
  stPC_SCAN_LOG_A a;
  stPC_SCAN_LOG_W w;
  stPC_SCAN_LOG_W* read = NULL;
  DWORD count = 0;
  void* log;
  memset(&a, 0, sizeof a);
  memset(&w, 0, sizeof w);
  a.dwCode = w.dwCode = 11;
  strcpy(a.szText64, text);
  Widen(w.szText64, 64, text);
  Check((wide ? QORLOG_WritePCScanLogW(&w) : QORLOG_WritePCScanLogA(&a)) == QORLOG_STATUS_OK, "write status", text);
  log = OpenNewest(QORLOG_KIND_PCSCAN);
  Check(log != NULL && QORLOG_ReadPCScanLogArray(log, &read, &count) == QORLOG_STATUS_OK && count > 0, "read", text);
  if (read != NULL && count > 0) {
    Check(read[0].dwCode == 11 && SameText(read[0].szText64, text) && read[0].stTime.wYear >= 2024, "record", text);
    QORLOG_FreePCScanLogArray(read);
  }
  QORLOG_CloseLog(log);
}

static void Firewall(const char* text, int wide) {
  stFW_LOG_A a;
  stFW_LOG_W w;
  stFW_LOG_W* read = NULL;
  DWORD count = 0;
  void* log;
  memset(&a, 0, sizeof a);
  memset(&w, 0, sizeof w);
  a.dwParam = w.dwParam = 0xDEADBEEF;
  strcpy(a.szText64b, text);
  Widen(w.szText64b, 64, text);
  Check((wide ? QORLOG_WriteFWLogW(&w) : QORLOG_WriteFWLogA(&a)) == QORLOG_STATUS_OK, "write status", text);
  log = OpenNewest(QORLOG_KIND_FIREWALL);
  Check(log != NULL && QORLOG_ReadFWLogArray(log, &read, &count) == QORLOG_STATUS_OK && count > 0, "read", text);
  if (read != NULL && count > 0) {
    Check(read[0].dwParam == 0xDEADBEEF && SameText(read[0].szText64b, text) && read[0].stTime.wYear >= 2024, "record",
          text);
    QORLOG_FreeFWLogArray(read);
  }
  QORLOG_CloseLog(log);
}

static void Simple(DWORD kind, const char* text, int wide) {
  stSIMPLE_LOG_A a;
  stSIMPLE_LOG_W w;
  stSIMPLE_LOG_W* read = NULL;
  DWORD count = 0;
  void* log;
  memset(&a, 0, sizeof a);
  memset(&w, 0, sizeof w);
  a.dwSubCode = w.dwSubCode = 32;
  strcpy(a.szText260, text);
  Widen(w.szText260, 260, text);
  Check((wide ? QORLOG_WriteSimpleLogW(kind, &w) : QORLOG_WriteSimpleLogA(kind, &a)) == QORLOG_STATUS_OK,
        "write status", text);
  log = OpenNewest(kind);
  Check(log != NULL && QORLOG_ReadSimpleLogArray(log, &read, &count) == QORLOG_STATUS_OK && count > 0, "read", text);
  if (read != NULL && count > 0) {
    Check(read[0].dwSubCode == 32 && read[0].stTime.wYear >= 2024, "record", text);
    Check(wide ? SameText(read[0].szText260, text) : SameAnsiText(read[0].szText260, text), "text", text);
    QORLOG_FreeSimpleLogArray(read);
  }
  QORLOG_CloseLog(log);
}

static int RoundTrip(const char* tag) {
  const DWORD simple_kinds[] = {QORLOG_KIND_ANTIKEYLOGGER, QORLOG_KIND_SECUREBROWSER, QORLOG_KIND_PELLORA};
  char text[96];
  int wide;
  size_t i;
  for (wide = 0; wide <= 1; ++wide) {
    snprintf(text, sizeof text, "pc scan %s %s", wide ? "W" : "A", tag);
    PcScan(text, wide);
    snprintf(text, sizeof text, "firewall %s %s", wide ? "W" : "A", tag);
    Firewall(text, wide);
    for (i = 0; i < sizeof simple_kinds / sizeof simple_kinds[0]; ++i) {
      snprintf(text, sizeof text, "simple %lu %s %s%s", (unsigned long)simple_kinds[i], wide ? "W" : "A", tag,
               wide ? "" : NON_ASCII);
      Simple(simple_kinds[i], text, wide);
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
