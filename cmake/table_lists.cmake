# The lists the build writes from the tables (installer/table_lists.cpp): the languages of the
# installers, the message table and the administrative templates, and the package's preset rows and
# refusals. The program is built for the build machine, not the target (in the mingw build with
# the machine's own C++ compiler, OSTINEL_HOST_CXX), and run when the build is configured, so that
# the lists are CMake lists too; a change to a table configures the build again. Include it before
# the folders that use the lists: it sets OSTINEL_TABLE_LISTS_DIR (the written files) and the
# variables of table_lists.cmake in it (OSTINEL_LANGUAGES, OSTINEL_MESSAGE_FILES,
# OSTINEL_PRESET_NAMES, OSTINEL_PRESET_PROPERTIES).
set(OSTINEL_TABLE_LISTS_DIR ${CMAKE_BINARY_DIR}/generated/table_lists)
set(sources ${CMAKE_SOURCE_DIR}/installer/table_lists_main.cpp ${CMAKE_SOURCE_DIR}/installer/table_lists.cpp
    ${CMAKE_SOURCE_DIR}/language/interface_language.cpp ${CMAKE_SOURCE_DIR}/core/bounded_text.cpp)
file(MAKE_DIRECTORY ${OSTINEL_TABLE_LISTS_DIR})
set(program ${CMAKE_BINARY_DIR}/generated/table_lists_program)

if(NOT CMAKE_CROSSCOMPILING AND MSVC)
  # The compiler of this build is the machine's own: CMake builds and runs the program.
  try_run(run_result compiled SOURCES ${sources} NO_CACHE
          CMAKE_FLAGS "-DINCLUDE_DIRECTORIES=${CMAKE_SOURCE_DIR}"
          CXX_STANDARD 20 CXX_STANDARD_REQUIRED ON
          COMPILE_OUTPUT_VARIABLE output RUN_OUTPUT_VARIABLE run_output
          ARGS ${OSTINEL_TABLE_LISTS_DIR})
  if(NOT compiled OR NOT run_result EQUAL 0)
    message(FATAL_ERROR "installer/table_lists.cpp: ${output}${run_output}")
  endif()
  # Every header the sources may read (MSVC leaves no list of them here).
  file(GLOB dependencies ${CMAKE_SOURCE_DIR}/core/*.h ${CMAKE_SOURCE_DIR}/language/*.h
       ${CMAKE_SOURCE_DIR}/installer/table_lists.h ${CMAKE_SOURCE_DIR}/res/resource_ids.h)
  list(APPEND dependencies ${sources})
else()
  if(CMAKE_CROSSCOMPILING)
    find_program(OSTINEL_HOST_CXX NAMES c++ g++ clang++ REQUIRED
                 DOC "the build machine's C++ compiler, for the programs the build runs")
    set(compiler ${OSTINEL_HOST_CXX})
  else()
    set(compiler ${CMAKE_CXX_COMPILER})
  endif()
  # Each source apart, so that each leaves the list of files it read (-MMD: not the system's).
  set(objects "")
  set(dependencies "")
  foreach(source ${sources})
    get_filename_component(name ${source} NAME_WE)
    execute_process(
      COMMAND ${compiler} -std=c++20 -Wall -Wextra -Werror -I${CMAKE_SOURCE_DIR} -MMD -MF ${program}-${name}.d
              -c ${source} -o ${program}-${name}.o
      RESULT_VARIABLE result ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "${source} did not compile for the build machine:\n${output}")
    endif()
    list(APPEND objects ${program}-${name}.o)
    file(READ ${program}-${name}.d read)
    string(REGEX REPLACE "\\\\\n" " " read "${read}")
    string(REGEX REPLACE "^[^:]*: " "" read "${read}")
    separate_arguments(read UNIX_COMMAND "${read}")
    list(APPEND dependencies ${read})
  endforeach()
  execute_process(COMMAND ${compiler} ${objects} -o ${program} RESULT_VARIABLE result ERROR_VARIABLE output)
  if(result EQUAL 0)
    execute_process(COMMAND ${program} ${OSTINEL_TABLE_LISTS_DIR} RESULT_VARIABLE result ERROR_VARIABLE output)
  endif()
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "installer/table_lists.cpp: ${output}")
  endif()
  list(REMOVE_DUPLICATES dependencies)
endif()
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${dependencies})
include(${OSTINEL_TABLE_LISTS_DIR}/table_lists.cmake)

# The refusals held to what the settings dialog can make, with the portable logic's tests.
target_sources(core_tests PRIVATE ${CMAKE_SOURCE_DIR}/installer/table_lists.cpp
               ${CMAKE_SOURCE_DIR}/installer/table_lists_test.cpp)
