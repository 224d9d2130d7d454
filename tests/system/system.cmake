# System tests: the host tools (always) and the whole machine booted in QEMU
# (driven through QMP; skipped, not failed, where QEMU or the kernel image is
# missing).
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  add_test(NAME system.tools
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/system/tools_test.py -v)
  set_tests_properties(system.tools PROPERTIES
    ENVIRONMENT "TARN_FONTS=${CMAKE_BINARY_DIR}/tools/fonts.json"
    TIMEOUT 120)
endif()
