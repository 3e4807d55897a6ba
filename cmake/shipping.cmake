# What ships is signed, and the programs keep their debug information apart from themselves.
#
# ostinel_ship_program(<target>)   a shipped program: debug information split off into
#                                  symbols/<name>.debug (MinGW) or symbols/<name>.pdb (MSVC), then
#                                  the stripped program is signed. <target>_signature, built on
#                                  every build, signs it again when the signature no longer fits
#                                  (a release build over test-signed files); what packs the program
#                                  depends on that target.
# ostinel_sign(<target> [<file>])  signs <file> (by default the target's own file) after each build
#                                  of <target>; for installers built by custom targets.
# OSTINEL_SIGN_COMMAND             the command line that signs a file given as its last argument,
#                                  empty when signing is not possible here.
# See cmake/sign.cmake for the credentials a release build names in the environment.

set(OSTINEL_SYMBOLS_DIR ${CMAKE_BINARY_DIR}/symbols)
set(OSTINEL_SIGNING_DIR ${CMAKE_BINARY_DIR}/signing)
find_program(OSTINEL_OSSLSIGNCODE osslsigncode)
find_program(OSTINEL_OPENSSL openssl)
if(OSTINEL_OSSLSIGNCODE AND OSTINEL_OPENSSL)
  set(OSTINEL_SIGN_COMMAND ${CMAKE_COMMAND} -DOSSLSIGNCODE=${OSTINEL_OSSLSIGNCODE} -DOPENSSL=${OSTINEL_OPENSSL}
      -DSIGNING_DIR=${OSTINEL_SIGNING_DIR} -P ${CMAKE_CURRENT_LIST_DIR}/sign.cmake)
else()
  message(STATUS "osslsigncode or openssl not found: programs and installers are not signed")
  set(OSTINEL_SIGN_COMMAND "")
endif()

function(ostinel_sign target)
  if(NOT OSTINEL_SIGN_COMMAND)
    return()
  endif()
  set(file $<TARGET_FILE:${target}>)
  if(ARGC GREATER 1)
    set(file ${ARGV1})
  endif()
  add_custom_command(TARGET ${target} POST_BUILD COMMAND ${OSTINEL_SIGN_COMMAND} ${file} VERBATIM)
endfunction()

function(ostinel_ship_program target)
  set(debug ${OSTINEL_SYMBOLS_DIR}/$<TARGET_FILE_BASE_NAME:${target}>)
  if(MINGW AND CMAKE_OBJCOPY AND CMAKE_STRIP)
    # Linked with debug information (the top level leaves out -s for these); the link's output is
    # split into the stripped program and its symbol file, which a debug link names.
    set_property(TARGET ${target} PROPERTY OSTINEL_KEEP_SYMBOLS ON)
    target_compile_options(${target} PRIVATE -g)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E make_directory ${OSTINEL_SYMBOLS_DIR}
      COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> ${debug}.debug
      COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:${target}>
      COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=${debug}.debug $<TARGET_FILE:${target}>
      VERBATIM)
  elseif(MSVC)
    target_compile_options(${target} PRIVATE /Z7)
    target_link_options(${target} PRIVATE /DEBUG /OPT:REF /OPT:ICF)
    set_target_properties(${target} PROPERTIES PDB_OUTPUT_DIRECTORY ${OSTINEL_SYMBOLS_DIR})
  endif()
  ostinel_sign(${target})
  if(OSTINEL_SIGN_COMMAND)
    add_custom_target(${target}_signature ALL COMMAND ${OSTINEL_SIGN_COMMAND} $<TARGET_FILE:${target}> VERBATIM)
  else()
    add_custom_target(${target}_signature)
  endif()
  add_dependencies(${target}_signature ${target})
endfunction()
