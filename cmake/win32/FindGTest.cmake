# The Windows build compiles GoogleTest from its sources (cmake/windows.cmake);
# find_package(GTest) finds those targets.
if(TARGET GTest::gtest_main)
  set(GTest_FOUND TRUE)
  set(GTEST_FOUND TRUE)
  set(GTEST_LIBRARIES GTest::gtest)
  set(GTEST_MAIN_LIBRARIES GTest::gtest_main)
  set(GTEST_BOTH_LIBRARIES GTest::gtest GTest::gtest_main)
else()
  set(GTest_FOUND FALSE)
  if(GTest_FIND_REQUIRED)
    message(FATAL_ERROR "GoogleTest targets are missing: cmake/windows.cmake builds them")
  endif()
endif()
