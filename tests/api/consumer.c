/* A C program that uses the installed header and library. */
#include <qorlog/qorlog.h>
#include <stdio.h>

int main(void) {
  WCHAR buf[260];
  char out[260];
  size_t i;
  if (QORLOG_GetProgramFilesPath(buf, 260) != QORLOG_STATUS_OK) return 1;
  for (i = 0; buf[i] != 0 && i < 259; ++i) out[i] = (char)buf[i]; /* ASCII test path */
  out[i] = 0;
  printf("%s\n", out);
  return sizeof(stFW_LOG_W) == 804 ? 0 : 2;
}
