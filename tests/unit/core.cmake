# ca65 programs the core tests run, assembled into flat binaries at $0200.
if(TARGET test_core)
  set(CORE_PRG_DIR ${CMAKE_BINARY_DIR}/core_programs)
  file(MAKE_DIRECTORY ${CORE_PRG_DIR})
  set(CORE_PRGS)
  foreach(p bcd_count)
    set(src ${CMAKE_SOURCE_DIR}/tests/unit/core/programs/${p}.s)
    set(cfg ${CMAKE_SOURCE_DIR}/tests/unit/core/programs/flat.cfg)
    add_custom_command(
      OUTPUT ${CORE_PRG_DIR}/${p}.bin
      COMMAND ca65 -o ${CORE_PRG_DIR}/${p}.o ${src}
      COMMAND ld65 -C ${cfg} -o ${CORE_PRG_DIR}/${p}.bin ${CORE_PRG_DIR}/${p}.o
      DEPENDS ${src} ${cfg}
      COMMENT "Assembling ${p}.bin")
    list(APPEND CORE_PRGS ${CORE_PRG_DIR}/${p}.bin)
  endforeach()
  add_custom_target(core_programs DEPENDS ${CORE_PRGS})
  add_dependencies(test_core core_programs)
endif()
