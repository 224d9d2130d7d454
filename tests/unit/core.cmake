# ca65 programs the core tests run, flat binaries at $0200.
if(TARGET test_core)
  set(CORE_PRG_SRC ${CMAKE_SOURCE_DIR}/tests/unit/core/programs)
  set(CORE_PRG_OUT ${CMAKE_BINARY_DIR}/core_programs)
  file(MAKE_DIRECTORY ${CORE_PRG_OUT})
  add_custom_command(OUTPUT ${CORE_PRG_OUT}/bcd_count.bin
    COMMAND ca65 -o ${CORE_PRG_OUT}/bcd_count.o ${CORE_PRG_SRC}/bcd_count.s
    COMMAND ld65 -C ${CORE_PRG_SRC}/flat.cfg -o ${CORE_PRG_OUT}/bcd_count.bin ${CORE_PRG_OUT}/bcd_count.o
    DEPENDS ${CORE_PRG_SRC}/bcd_count.s ${CORE_PRG_SRC}/flat.cfg)
  add_custom_target(core_programs DEPENDS ${CORE_PRG_OUT}/bcd_count.bin)
  add_dependencies(test_core core_programs)
endif()
