# Tests derive from kernel classes, which are built without run-time type
# information; build these tests the same way so the vtables link.
foreach(t test_hwcomm test_keyboard)
  if(TARGET ${t})
    target_compile_options(${t} PRIVATE -fno-rtti)
  endif()
endforeach()

# The product library calls back into the test support (port primitives,
# processor control and the interrupt entry stand-ins live there), so the two
# static libraries form a cycle; declaring it lets the linker repeat them.
target_link_libraries(tarn_host INTERFACE tarn_testsupport)
