/* A C program that uses only the installed header and links the library.
 *
 * Without arguments it prints the Program Files folder (the install test).
 * With "--round-trip TAG" it writes a record of every kind through the
 * narrow and the wide writer, reads each back as the newest record of the
 * newest file of its kind, and compares every field; it prints what differs
 * and ends with 1 then. */
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

static void PcScan(const char* tag, int wide) {
  stPC_SCAN_LOG_W* read = NULL;
  DWORD count = 0;
  void* log;
  char text[64];
  snprintf(text, sizeof text, "pc scan %s %s", wide ? "W" : "A", tag);
  if (wide) {
    stPC_SCAN_LOG_W rec;
    memset(&rec, 0, sizeof rec);
    rec.dwCode = 11;
    rec.dwSubCode = 12;
    Widen(rec.szText64, 64, text);
    Widen(rec.szText260, 260, "C:\\scanned\\file.exe");
    Check(QORLOG_WritePCScanLogW(&rec) == QORLOG_STATUS_OK, "pc scan write status", text);
  } else {
    stPC_SCAN_LOG_A rec;
    memset(&rec, 0, sizeof rec);
    rec.dwCode = 11;
    rec.dwSubCode = 12;
    strcpy(rec.szText64, text);
    strcpy(rec.szText260, "C:\\scanned\\file.exe");
    Check(QORLOG_WritePCScanLogA(&rec) == QORLOG_STATUS_OK, "pc scan write status", text);
  }
  log = OpenNewest(QORLOG_KIND_PCSCAN);
  Check(log != NULL && QORLOG_ReadPCScanLogArray(log, &read, &count) == QORLOG_STATUS_OK && count > 0, "pc scan read",
        text);
  if (read != NULL && count > 0) {
    Check(read[0].dwCode == 11 && read[0].dwSubCode == 12, "pc scan codes", text);
    Check(SameText(read[0].szText64, text) && SameText(read[0].szText260, "C:\\scanned\\file.exe"), "pc scan texts",
          text);
    Check(read[0].stTime.wYear >= 2024, "pc scan time stamp", text);
    QORLOG_FreePCScanLogArray(read);
  }
  QORLOG_CloseLog(log);
}

static void Firewall(const char* tag, int wide) {
  stFW_LOG_W* read = NULL;
  DWORD count = 0;
  void* log;
  char text[64];
  snprintf(text, sizeof text, "firewall %s %s", wide ? "W" : "A", tag);
  if (wide) {
    stFW_LOG_W rec;
    memset(&rec, 0, sizeof rec);
    rec.dwCode = 21;
    rec.dwSubCode = 22;
    rec.dwParam = 0xDEADBEEF;
    Widen(rec.szText64, 64, text);
    Widen(rec.szText260, 260, "10.0.0.1:443");
    Widen(rec.szText64b, 64, "blocked");
    Check(QORLOG_WriteFWLogW(&rec) == QORLOG_STATUS_OK, "firewall write status", text);
  } else {
    stFW_LOG_A rec;
    memset(&rec, 0, sizeof rec);
    rec.dwCode = 21;
    rec.dwSubCode = 22;
    rec.dwParam = 0xDEADBEEF;
    strcpy(rec.szText64, text);
    strcpy(rec.szText260, "10.0.0.1:443");
    strcpy(rec.szText64b, "blocked");
    Check(QORLOG_WriteFWLogA(&rec) == QORLOG_STATUS_OK, "firewall write status", text);
  }
  log = OpenNewest(QORLOG_KIND_FIREWALL);
  Check(log != NULL && QORLOG_ReadFWLogArray(log, &read, &count) == QORLOG_STATUS_OK && count > 0, "firewall read",
        text);
  if (read != NULL && count > 0) {
    Check(read[0].dwCode == 21 && read[0].dwSubCode == 22 && read[0].dwParam == 0xDEADBEEF, "firewall numbers", text);
    Check(SameText(read[0].szText64, text) && SameText(read[0].szText260, "10.0.0.1:443") &&
              SameText(read[0].szText64b, "blocked"),
          "firewall texts", text);
    Check(read[0].stTime.wYear >= 2024, "firewall time stamp", text);
    QORLOG_FreeFWLogArray(read);
  }
  QORLOG_CloseLog(log);
}

static void Simple(DWORD kind, const char* tag, int wide) {
  stSIMPLE_LOG_W* read = NULL;
  DWORD count = 0;
  void* log;
  char text[96];
  snprintf(text, sizeof text, "simple %lu %s %s%s", (unsigned long)kind, wide ? "W" : "A", tag, wide ? "" : NON_ASCII);
  if (wide) {
    stSIMPLE_LOG_W rec;
    memset(&rec, 0, sizeof rec);
    rec.dwCode = 31;
    rec.dwSubCode = 32;
    Widen(rec.szText260, 260, text);
    Check(QORLOG_WriteSimpleLogW(kind, &rec) == QORLOG_STATUS_OK, "simple write status", text);
  } else {
    stSIMPLE_LOG_A rec;
    memset(&rec, 0, sizeof rec);
    rec.dwCode = 31;
    rec.dwSubCode = 32;
    strcpy(rec.szText260, text);
    Check(QORLOG_WriteSimpleLogA(kind, &rec) == QORLOG_STATUS_OK, "simple write status", text);
  }
  log = OpenNewest(kind);
  Check(log != NULL && QORLOG_ReadSimpleLogArray(log, &read, &count) == QORLOG_STATUS_OK && count > 0, "simple read",
        text);
  if (read != NULL && count > 0) {
    Check(read[0].dwCode == 31 && read[0].dwSubCode == 32, "simple codes", text);
    Check(wide ? SameText(read[0].szText260, text) : SameAnsiText(read[0].szText260, text), "simple text", text);
    Check(read[0].stTime.wYear >= 2024, "simple time stamp", text);
    QORLOG_FreeSimpleLogArray(read);
  }
  QORLOG_CloseLog(log);
}

static int RoundTrip(const char* tag) {
  const DWORD simple_kinds[] = {QORLOG_KIND_ANTIKEYLOGGER, QORLOG_KIND_SECUREBROWSER, QORLOG_KIND_PELLORA};
  int wide;
  size_t i;
  for (wide = 0; wide <= 1; ++wide) {
    PcScan(tag, wide);
    Firewall(tag, wide);
    for (i = 0; i < sizeof simple_kinds / sizeof simple_kinds[0]; ++i) Simple(simple_kinds[i], tag, wide);
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
