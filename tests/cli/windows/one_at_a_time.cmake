# Read by CTest after the discovered cases of qorlog_exe_viewer_tests are added.
set_tests_properties(${qorlog_exe_viewer_tests_TESTS} PROPERTIES RESOURCE_LOCK qorlog_notify_names)
