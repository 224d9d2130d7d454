# Tests derive from kernel classes, which are built without run-time type
# information; build these tests the same way so the vtables link.
foreach(t test_hwcomm test_keyboard)
  if(TARGET ${t})
    target_compile_options(${t} PRIVATE -fno-rtti)
  endif()
endforeach()
