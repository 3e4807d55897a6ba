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
# OSTINEL_SIGN                     ON (default): sign as above; OFF: nothing is signed (a release
#                                  built without credentials, whose bytes a rebuild reproduces).
# See cmake/sign.cmake for the credentials a release build names in the environment.
#
# Reproducible bytes: the same sources give the same shipped files in any folder at any time. The
# programs carry no build or source folder (prefix maps, top level) and, as their PE time stamp,
# OSTINEL_SOURCE_DATE_EPOCH; the packages take their files from a payload folder whose times are
# OSTINEL_SOURCE_DATE_EPOCH: SOURCE_DATE_EPOCH when set, else the date of the commit built, else
# 1980-01-01 (the earliest time a cabinet holds).
#
# ostinel_stage_payload(<dir> <var> <file>...)   a command line (in <var>) that copies each
#                                  <file> (a path below the build folder) to the same path below
#                                  <dir> and gives the copies the time OSTINEL_SOURCE_DATE_EPOCH.

set(OSTINEL_SYMBOLS_DIR ${CMAKE_BINARY_DIR}/symbols)
set(OSTINEL_SIGNING_DIR ${CMAKE_BINARY_DIR}/signing)
option(OSTINEL_SIGN "Sign the programs and installers (with the test certificate unless release credentials are given)" ON)
find_program(OSTINEL_OSSLSIGNCODE osslsigncode)
find_program(OSTINEL_OPENSSL openssl)
if(NOT OSTINEL_SIGN)
  message(STATUS "OSTINEL_SIGN is OFF: programs and installers are not signed")
  set(OSTINEL_SIGN_COMMAND "")
elseif(OSTINEL_OSSLSIGNCODE AND OSTINEL_OPENSSL)
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
    # split into the stripped program and its symbol file, which a debug link names. objcopy and
    # strip write the time they run into the PE header unless SOURCE_DATE_EPOCH says otherwise.
    set_property(TARGET ${target} PROPERTY OSTINEL_KEEP_SYMBOLS ON)
    target_compile_options(${target} PRIVATE -g)
    set(at_epoch ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${OSTINEL_SOURCE_DATE_EPOCH})
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E make_directory ${OSTINEL_SYMBOLS_DIR}
      COMMAND ${at_epoch} ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> ${debug}.debug
      COMMAND ${at_epoch} ${CMAKE_STRIP} --strip-all $<TARGET_FILE:${target}>
      COMMAND ${at_epoch} ${CMAKE_OBJCOPY} --add-gnu-debuglink=${debug}.debug $<TARGET_FILE:${target}>
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

if(DEFINED ENV{SOURCE_DATE_EPOCH} AND "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
  set(OSTINEL_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  set(OSTINEL_SOURCE_DATE_EPOCH 315532800)
  find_package(Git QUIET)
  if(GIT_FOUND AND EXISTS ${CMAKE_SOURCE_DIR}/.git)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                    OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
    if(NOT failed AND commit_time MATCHES "^[0-9]+$")
      set(OSTINEL_SOURCE_DATE_EPOCH ${commit_time})
    endif()
  endif()
endif()
find_package(Python3 COMPONENTS Interpreter)

function(ostinel_stage_payload dir var)
  set(${var} COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/stage_payload.py
      ${OSTINEL_SOURCE_DATE_EPOCH} ${CMAKE_BINARY_DIR} ${dir} ${ARGN} PARENT_SCOPE)
endfunction()
