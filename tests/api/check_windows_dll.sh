#!/usr/bin/env bash
# Checks QorLog.dll's export table and import list with objdump -p:
#  - exactly the 21 exports, QORLOG_ReadPCScanLog under its MSVC name;
#  - imports from Windows system DLLs only (no libstdc++, libgcc or
#    winpthread DLL: the runtime is linked in).
# Usage: check_windows_dll.sh QorLog.dll OBJDUMP
set -euo pipefail
dll=$1
objdump=$2

expected=$(sort <<'EOF_NAMES'
QORLOG_WritePCScanLogA
QORLOG_WritePCScanLogW
QORLOG_WriteFWLogA
QORLOG_WriteFWLogW
QORLOG_WriteSimpleLogA
QORLOG_WriteSimpleLogW
QORLOG_GetLogFileCnt
QORLOG_OpenLogFile
QORLOG_OpenLogFiles
QORLOG_GetLogItemCnt
?QORLOG_ReadPCScanLog@@YAKPEAXPEAUstPC_SCAN_LOG_W@@@Z
QORLOG_ReadPCScanLogArray
QORLOG_ReadFWLogArray
QORLOG_ReadSimpleLogArray
QORLOG_FreePCScanLogArray
QORLOG_FreeFWLogArray
QORLOG_FreeSimpleLogArray
QORLOG_FreeLogHeader
QORLOG_CloseLog
QORLOG_GetProgramFilesPath
QORLOG_ReduceLog
EOF_NAMES
)

dump=$("$objdump" -p "$dll")
# The names follow the "[Ordinal/Name Pointer] Table" line, one per line, up
# to the next empty line.
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && NF==0 {on=0} on {print $NF}' <<<"$dump" | sort)
status=0
if [ "$exports" != "$expected" ]; then
  echo "export table differs (< expected, > found):"
  diff <(echo "$expected") <(echo "$exports") || true
  status=1
fi

# Windows' own DLLs that the library may import.
allowed=" kernel32.dll user32.dll advapi32.dll ws2_32.dll msvcrt.dll ntdll.dll shell32.dll bcrypt.dll "
while read -r name; do
  [ -z "$name" ] && continue
  lower=$(tr '[:upper:]' '[:lower:]' <<<"$name")
  if [[ "$allowed" != *" $lower "* && "$lower" != api-ms-win-* ]]; then
    echo "imports a DLL that is not part of Windows: $name"
    status=1
  fi
done < <(sed -n 's/^\s*DLL Name: //p' <<<"$dump")
[ $status -eq 0 ] && echo "21 exports; imports only Windows system DLLs"
exit $status
