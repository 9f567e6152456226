# Smoke test of qorlog.exe under Wine, run by CTest on the build machine:
#   cmake -DQORLOG_EXE=... -DEMULATOR=wine64 -DGOLDEN_DIR=... -DWORK_DIR=... -P smoke.cmake
#
# On Windows the log folders come from the real registry, here the private
# Wine prefix's: "C:\Program Files (x86)\Varnok\ZEL\Common\Log". The test
# empties that folder first, writes records of each kind with `qorlog write`
# and reads them back with list, show and export.
#
# Output is compared after the differences that belong to the system, not to
# the program: line ends (\r\n from the C runtime) become \n; the Program
# Files folder reads as <TMP>/pf, as the Linux tests write it, and Windows'
# separators as '/'; today's date reads as <TODAY> and a time of day after it
# as <TIME>.
cmake_minimum_required(VERSION 3.25)

if(NOT DEFINED ENV{WINEPREFIX} OR "$ENV{WINEPREFIX}" STREQUAL "")
  message(FATAL_ERROR "WINEPREFIX is not set: the test runs only in a private Wine prefix (the windows preset sets it)")
endif()
set(log_root "$ENV{WINEPREFIX}/drive_c/Program Files (x86)/Varnok/ZEL/Common/Log")
file(REMOVE_RECURSE "${log_root}" "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

string(TIMESTAMP today_compact "%Y%m%d")
string(TIMESTAMP today_dashed "%Y-%m-%d")
set(failures 0)

function(stable text out)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "C:\\\\Program Files (x86)" "<TMP>/pf" text "${text}")  # inside JSON strings
  string(REPLACE "C:\\Program Files (x86)" "<TMP>/pf" text "${text}")
  string(REPLACE "\\\\" "/" text "${text}")
  string(REPLACE "\\" "/" text "${text}")
  string(REPLACE "${today_compact}" "<TODAY>" text "${text}")
  string(REPLACE "${today_dashed}" "<TODAY>" text "${text}")
  string(REGEX REPLACE "<TODAY>T[0-9:.][0-9:.][0-9:.][0-9:.][0-9:.][0-9:.][0-9:.][0-9:.][0-9:.][0-9:.][0-9:.][0-9:.]"
         "<TODAY>T<TIME>" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(fail what)
  message(SEND_ERROR "${what}")
  math(EXPR n "${failures} + 1")
  set(failures ${n} PARENT_SCOPE)
endfunction()

# Runs qorlog.exe with the arguments; sets out, err (made stable) and rc.
function(qorlog)
  execute_process(COMMAND ${EMULATOR} ${QORLOG_EXE} ${ARGN}
    INPUT_FILE ${WORK_DIR}/no-input
    OUTPUT_VARIABLE o ERROR_VARIABLE e RESULT_VARIABLE r TIMEOUT 60)
  string(REPLACE "\r\n" "\n" raw "${o}")
  set(raw_out "${raw}" PARENT_SCOPE)
  stable("${o}" o)
  stable("${e}" e)
  set(out "${o}" PARENT_SCOPE)
  set(err "${e}" PARENT_SCOPE)
  set(rc "${r}" PARENT_SCOPE)
endfunction()
file(WRITE ${WORK_DIR}/no-input "")

# Runs one command and compares it with tests/cli/golden/<name>.*.
function(golden name)
  qorlog(${ARGN})
  file(READ ${GOLDEN_DIR}/${name}.stdout.exact want_out)
  file(READ ${GOLDEN_DIR}/${name}.stderr.exact want_err)
  file(READ ${GOLDEN_DIR}/${name}.exit want_rc)
  string(STRIP "${want_rc}" want_rc)
  if(NOT out STREQUAL want_out)
    file(WRITE ${WORK_DIR}/${name}.stdout "${out}")
    fail("${name}: standard output differs from ${name}.stdout.exact; it is in ${WORK_DIR}/${name}.stdout:\n${out}")
  endif()
  if(NOT err STREQUAL want_err)
    fail("${name}: standard error differs:\n${err}\nwanted:\n${want_err}")
  endif()
  if(NOT rc STREQUAL want_rc)
    fail("${name}: exit ${rc}, wanted ${want_rc}")
  endif()
  set(failures ${failures} PARENT_SCOPE)
endfunction()

# Runs one command that must succeed; sets out.
function(ok)
  qorlog(${ARGN})
  if(NOT rc STREQUAL "0")
    fail("qorlog ${ARGN}: exit ${rc}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
  set(raw_out "${raw_out}" PARENT_SCOPE)
  set(failures ${failures} PARENT_SCOPE)
endfunction()

# The program as a whole.
golden(help --help)
golden(version --version)
golden(list_all_empty list --all)

# Records of each kind, with text that is not ASCII on the command line.
string(REPEAT "é" 200 e200)
string(REPEAT "a" 258 a258)
ok(write simple --kind "anti keylogger" --code 602 --sub-code 405 --text "${e200}")
ok(write simple --kind Anti-Keylogger --text "${a258}😀")
golden(show_what_write_stored show --kind anti-keylogger --json --oldest-first)
ok(write simple --kind secure-browser --code 7 --text "secure browser")
ok(write simple --kind pellora --code 8 --text "pellora")
ok(write simple --code 9 --text "etc")
ok(write fw --code 10 --sub-code 2 --param 30 --text64 app --text260 "règle" --text64b 10.0.0.1)
ok(write pcscan --code 11 --text64 scan --text260 "eicar.com")

# list: one file with one or two records in each category.
ok(list --all --json)
string(REGEX MATCHALL "\"header_count\":[0-9]+" counts "${out}")
string(REPLACE "\"header_count\":" "" counts "${counts}")
# pc scan, firewall, anti keylogger, secure browser, pellora i, etc
if(NOT counts STREQUAL "1;1;2;1;1;1")
  fail("list --all --json: wanted record counts 1;1;2;1;1;1 by category, got ${counts}:\n${out}")
endif()

# show: the firewall record's fields as written.
ok(show --kind firewall --json)
foreach(want "\"code\":10" "\"sub_code\":2" "\"param\":30" "\"text64\":\"app\"" "\"text260\":\"règle\"" "\"text64b\":\"10.0.0.1\"")
  string(FIND "${out}" "${want}" at)
  if(at EQUAL -1)
    fail("show --kind firewall --json: no ${want} in\n${out}")
  endif()
endforeach()

# export: every record once, oldest first within a kind, with the offset of
# the machine's time zone in each time stamp.
# (Parsed as printed: the dates in numbers are not to be replaced.)
ok(export --all)
string(REGEX MATCHALL "[^\n]+" lines "${raw_out}")
list(LENGTH lines count)
if(NOT count EQUAL 7)
  fail("export --all: ${count} lines, wanted 7:\n${out}")
endif()
set(messages "")
foreach(line IN LISTS lines)
  string(JSON message ERROR_VARIABLE bad GET "${line}" message)
  string(JSON stamp ERROR_VARIABLE bad2 GET "${line}" "@timestamp")
  if(bad OR bad2)
    fail("export --all: not a record in JSON: ${line}")
    continue()
  endif()
  if(NOT stamp MATCHES "^${today_dashed}T[0-9][0-9]:[0-9][0-9]:[0-9][0-9]\\.[0-9][0-9][0-9][+-][0-9][0-9]:[0-9][0-9]$")
    fail("export --all: time stamp ${stamp} is not today's local time with an offset")
  endif()
  list(APPEND messages "${message}")
endforeach()
foreach(want "pellora" "secure browser" "etc")
  string(FIND "${messages}" "${want}" at)
  if(at EQUAL -1)
    fail("export --all: no record says '${want}': ${messages}")
  endif()
endforeach()

# forward: a refused connection and TLS are failures the program reports.
ok(write simple --text "to forward")
qorlog(forward --kind etc --to tcp://127.0.0.1:9)
if(NOT rc STREQUAL "4" OR NOT err MATCHES "cannot deliver to 127.0.0.1:9 \\(connection refused\\), gave up after 3 tries")
  fail("forward to a closed port: exit ${rc}, wanted 4 and 'connection refused':\n${err}")
endif()
file(WRITE ${WORK_DIR}/ca.pem "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n")
qorlog(forward --kind etc --to tls://127.0.0.1:9 --ca-file ${WORK_DIR}/ca.pem)
if(NOT rc STREQUAL "4" OR NOT err MATCHES "\\(TLS is not available on Windows\\)")
  fail("forward over TLS: exit ${rc}, wanted 4 and 'TLS is not available on Windows':\n${err}")
endif()
file(WRITE ${WORK_DIR}/not-a-ca.pem "plain text\n")
qorlog(forward --kind etc --to tls://127.0.0.1:9 --ca-file ${WORK_DIR}/not-a-ca.pem)
if(NOT rc STREQUAL "2" OR NOT err MATCHES "holds no PEM certificate")
  fail("forward with a CA file without certificates: exit ${rc}, wanted 2:\n${err}")
endif()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} check(s) of qorlog.exe failed")
endif()
