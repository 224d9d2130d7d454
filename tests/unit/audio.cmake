# The ring tests derive a device from a driver class, built without run-time
# type information; build them the same way so the vtables link.
if(TARGET test_audio)
  target_compile_options(test_audio PRIVATE -fno-rtti)
endif()
