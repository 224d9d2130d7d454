# The heap-failure tests replace the array allocator with one that can
# answer null, as the kernel heap does when it is exhausted.
if(TARGET test_bridge)
  target_compile_options(test_bridge PRIVATE -fcheck-new)
endif()
