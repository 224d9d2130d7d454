# Host tools: the font dump the system tests' screen reader decodes with.
add_executable(tarn_fontdump ${CMAKE_SOURCE_DIR}/tools/fontdump.cpp)
target_link_libraries(tarn_fontdump PRIVATE tarn_testsupport)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/tools/fonts.json
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/tools
  COMMAND tarn_fontdump > ${CMAKE_BINARY_DIR}/tools/fonts.json
  DEPENDS tarn_fontdump
  COMMENT "Dumping the kernel's fonts for the screen reader")
add_custom_target(tarn_fonts ALL DEPENDS ${CMAKE_BINARY_DIR}/tools/fonts.json)

# The product's layering, read from its #include lines.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  add_test(NAME layers COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/layers.py)
endif()
