# The modules' scratch directory helper and the Disk module's use of it.
quillon_add_test(scratch_dir_tests PREFIX "plugins.scratch." SOURCES ScratchDirectoryTest.cpp
  LIBS disk_core kqa_common)
