// A C++ program that uses the installed header and library.
#include <qorlog/qorlog.h>

#include <iostream>
#include <string>

int main() {
  WCHAR buf[260];
  if (QORLOG_GetProgramFilesPath(buf, 260) != QORLOG_STATUS_OK) return 1;
  std::string out;
  for (const WCHAR* p = buf; *p != 0; ++p) out.push_back(static_cast<char>(*p));  // ASCII test path
  std::cout << out << "\n";
  // The one export with C++ linkage must resolve under its decorated name.
  if (QORLOG_ReadPCScanLog(nullptr, nullptr) != QORLOG_STATUS_BAD_POINTER) return 3;
  return sizeof(stPC_SCAN_LOG_W) == 672 ? 0 : 2;
}
