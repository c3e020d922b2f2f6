# Tests of the Disk and Video modules (included from this folder's CMakeLists.txt).
set(_dv_defs KQA_FIXTURES="${CMAKE_CURRENT_SOURCE_DIR}/fixtures" KQA_MODULE_DIR="${QUILLON_BIN_DIR}")

# The Disk module's parts, from fixture machines.
add_executable(disk_branch_tests DiskBranchTest.cpp)
target_link_libraries(disk_branch_tests PRIVATE disk_core kqcore GTest::gtest_main)
target_include_directories(disk_branch_tests PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(disk_branch_tests PRIVATE ${_dv_defs})
set_target_properties(disk_branch_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
gtest_discover_tests(disk_branch_tests TEST_PREFIX "plugins.disk." DISCOVERY_MODE PRE_TEST)

# Disk.kqa loaded by the host.
add_executable(disk_module_tests DiskModuleTest.cpp)
target_link_libraries(disk_module_tests PRIVATE disk_core kqcore GTest::gtest_main)
target_include_directories(disk_module_tests PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(disk_module_tests PRIVATE ${_dv_defs})
set_target_properties(disk_module_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
add_dependencies(disk_module_tests Disk_kqa)
gtest_discover_tests(disk_module_tests TEST_PREFIX "plugins.disk." DISCOVERY_MODE PRE_TEST)

if(TARGET Video_kqa)
  # Video.kqa in a host without a QGuiApplication (the core), with fixture screens and adapters.
  add_executable(video_module_tests VideoModuleTest.cpp)
  target_link_libraries(video_module_tests PRIVATE video_core kqcore GTest::gtest_main)
  target_include_directories(video_module_tests PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(video_module_tests PRIVATE ${_dv_defs})
  set_target_properties(video_module_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  add_dependencies(video_module_tests Video_kqa)
  gtest_discover_tests(video_module_tests TEST_PREFIX "plugins.video." DISCOVERY_MODE PRE_TEST)

  # Video.kqa in a host with a QGuiApplication on the offscreen platform, two screens.
  add_executable(video_gui_tests VideoGuiTest.cpp)
  target_link_libraries(video_gui_tests PRIVATE video_core kqcore Qt6::Gui GTest::gtest)
  target_include_directories(video_gui_tests PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(video_gui_tests PRIVATE ${_dv_defs})
  set_target_properties(video_gui_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  add_dependencies(video_gui_tests Video_kqa)
  gtest_discover_tests(video_gui_tests TEST_PREFIX "plugins.video." DISCOVERY_MODE PRE_TEST)
endif()
