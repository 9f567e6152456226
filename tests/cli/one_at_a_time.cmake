# Read by CTest after the discovered cases of cli_tests are added.
foreach(name IN LISTS cli_tests_TESTS)
  if(name MATCHES "^(WatchCommandTest|TrayCommandTest)\\.")
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK qorlog_notify_names)
  endif()
endforeach()
