# Tests of the Disk and Video modules (included from this folder's CMakeLists.txt).
set(_dv_defs KQA_FIXTURES="${CMAKE_CURRENT_SOURCE_DIR}/fixtures" KQA_MODULE_DIR="${QUILLON_BIN_DIR}")

# The Disk module's parts, from fixture machines.
quillon_add_test(disk_branch_tests PREFIX "plugins.disk." SOURCES DiskBranchTest.cpp
  LIBS disk_core kqcore DEFINES ${_dv_defs})

# Disk.kqa loaded by the host.
quillon_add_test(disk_module_tests PREFIX "plugins.disk." SOURCES DiskModuleTest.cpp
  LIBS disk_core kqcore DEFINES ${_dv_defs} DEPENDS Disk_kqa)

if(TARGET Video_kqa)
  # Video.kqa in a host without a QGuiApplication (the core), with fixture screens and adapters.
  quillon_add_test(video_module_tests PREFIX "plugins.video." SOURCES VideoModuleTest.cpp
    LIBS video_core kqcore DEFINES ${_dv_defs} DEPENDS Video_kqa)

  # Video.kqa in a host with a QGuiApplication on the offscreen platform, two screens.
  quillon_add_test(video_gui_tests OWN_MAIN PREFIX "plugins.video." SOURCES VideoGuiTest.cpp
    LIBS video_core kqcore Qt6::Gui DEFINES ${_dv_defs} DEPENDS Video_kqa)
endif()
