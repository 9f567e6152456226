# Read by CTest after the discovered cases of notify_tests are added.
set_tests_properties(${notify_tests_TESTS} PROPERTIES RESOURCE_LOCK qorlog_notify_names)
