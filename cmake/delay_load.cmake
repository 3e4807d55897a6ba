# DLLs from System32 only: a program that runs in every user's session, or as SYSTEM from the
# install folder, imports at load time only KnownDLLs (which Windows never takes from the program's
# folder) and delay-loads the others, which its wWinMain loads only after LoadDllsFromSystemOnly
# (win/system_dlls.h) has limited the search to System32.
#
# ostinel_delay_load(<target> <dll>...)   <target> delay-loads each <dll> (a name without ".dll"
#                                         that has a cmake/delay_imports/<dll>.def).
#
# MinGW: each DLL's import library is made with dlltool from cmake/delay_imports/<dll>.def, which
# lists the functions the programs call (a call to another one fails to link); the libraries are
# made once, in delay_imports/ of the build folder, for every program. MSVC: /DELAYLOAD over the
# usual import libraries, and /DEPENDENTLOADFLAG:0x800 (LOAD_LIBRARY_SEARCH_SYSTEM32) for the
# DLLs those load.

set(OSTINEL_DELAY_IMPORT_DIR ${CMAKE_BINARY_DIR}/delay_imports)
file(MAKE_DIRECTORY ${OSTINEL_DELAY_IMPORT_DIR})

function(ostinel_delay_load target)
  if(MINGW)
    set(libraries)
    foreach(dll ${ARGN})
      set(def ${CMAKE_SOURCE_DIR}/cmake/delay_imports/${dll}.def)
      if(NOT EXISTS ${def})
        message(FATAL_ERROR "ostinel_delay_load(${target}): no ${def}")
      endif()
      set(library ${OSTINEL_DELAY_IMPORT_DIR}/lib${dll}_delay.a)
      if(NOT TARGET ostinel_delay_${dll})
        # Run in the build folder with a relative output name: dlltool names the stubs' symbols
        # after the output path, and those names reach the symbol files, so a path would make
        # every build folder give other bytes.
        add_custom_command(OUTPUT ${library}
          COMMAND ${CMAKE_DLLTOOL} --deterministic-libraries --temp-prefix ${dll}_delay -d ${def} -y lib${dll}_delay.a
          WORKING_DIRECTORY ${OSTINEL_DELAY_IMPORT_DIR}
          DEPENDS ${def} VERBATIM)
        add_custom_target(ostinel_delay_${dll} DEPENDS ${library})
      endif()
      add_dependencies(${target} ostinel_delay_${dll})
      list(APPEND libraries ${library})
    endforeach()
    target_link_libraries(${target} PRIVATE ${libraries})
  elseif(MSVC)
    set(options /DEPENDENTLOADFLAG:0x800)
    foreach(dll ${ARGN})
      list(APPEND options /DELAYLOAD:${dll}.dll)
    endforeach()
    target_link_libraries(${target} PRIVATE ${ARGN} delayimp)
    target_link_options(${target} PRIVATE ${options})
  endif()
endfunction()
