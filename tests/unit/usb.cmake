# USB tests run C programs built with cc65 for the C64 (each
# tests/unit/usb/programs/NAME.c becomes NAME.prg) beside cc65's own mouse
# driver, which they load from drive 8.
if(TARGET test_usb)
  find_file(CC65_1351_DRIVER c64-1351.mou PATHS /usr/share/cc65/target/c64/drv/mou
            /usr/lib/cc65/target/c64/drv/mou NO_DEFAULT_PATH)
  set(up_src ${CMAKE_SOURCE_DIR}/tests/unit/usb/programs)
  set(up_out ${CMAKE_BINARY_DIR}/usb_programs)
  file(MAKE_DIRECTORY ${up_out})
  file(GLOB up_programs CONFIGURE_DEPENDS ${up_src}/*.c)
  set(up_prgs)
  foreach(src ${up_programs})
    get_filename_component(name ${src} NAME_WE)
    add_custom_command(
      OUTPUT ${up_out}/${name}.prg
      COMMAND cc65 -t c64 -O -o ${up_out}/${name}.s ${src}
      COMMAND ca65 -t c64 -o ${up_out}/${name}.o ${up_out}/${name}.s
      COMMAND ld65 -t c64 -o ${up_out}/${name}.prg ${up_out}/${name}.o c64.lib
      DEPENDS ${src}
      COMMENT "Compiling C64 test program ${name}")
    list(APPEND up_prgs ${up_out}/${name}.prg)
  endforeach()
  add_custom_target(usb_programs DEPENDS ${up_prgs})
  add_dependencies(test_usb usb_programs)
  target_compile_definitions(test_usb PRIVATE USB_PROGRAMS="${up_out}"
                             CC65_1351_DRIVER="${CC65_1351_DRIVER}")
endif()
