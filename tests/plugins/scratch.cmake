# The modules' scratch directory helper and the Disk module's use of it.
add_executable(scratch_dir_tests ScratchDirectoryTest.cpp)
target_link_libraries(scratch_dir_tests PRIVATE disk_core kqa_common GTest::gtest_main)
set_target_properties(scratch_dir_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
gtest_discover_tests(scratch_dir_tests TEST_PREFIX "plugins.scratch." DISCOVERY_MODE PRE_TEST)
