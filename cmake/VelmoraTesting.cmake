# Helpers that register the project's tests with CTest under their labels
# (unit, system, fuzz, bench), so that `ctest -L unit` is the quick loop.

find_package(GTest QUIET)

# velmora_unit_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS extra])
function(velmora_unit_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS "unit;${ARG_LABELS}" TIMEOUT 300)
  if("tsan" IN_LIST ARG_LABELS)
    set_property(GLOBAL APPEND PROPERTY VELMORA_TSAN_TESTS ${name})
  endif()
endfunction()

# velmora_system_test(NAME SCRIPT tests/system/test_x.py [DEPENDS targets] [TIMEOUT s])
# Each system test runs in its own network namespace (tests/system/netns.sh),
# so that ports and abstract Unix sockets are private to it.
function(velmora_system_test name)
  cmake_parse_arguments(ARG "" "SCRIPT;TIMEOUT" "DEPENDS;LABELS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  add_test(NAME ${name}
    COMMAND ${CMAKE_SOURCE_DIR}/tests/system/netns.sh
            /usr/bin/python3 -m pytest -q -p no:cacheprovider ${CMAKE_SOURCE_DIR}/${ARG_SCRIPT})
  set(env "VELMORA_BUILD_DIR=${CMAKE_BINARY_DIR}" "VELMORA_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  set_tests_properties(${name} PROPERTIES LABELS "system;${ARG_LABELS}" TIMEOUT ${ARG_TIMEOUT}
                       ENVIRONMENT "${env}")
endfunction()

# velmora_fuzz_target(NAME SOURCES ... LIBS ... CORPUS dir [SECONDS n])
function(velmora_fuzz_target name)
  cmake_parse_arguments(ARG "" "CORPUS;SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT VELMORA_FUZZ)
    return()
  endif()
  if(NOT ARG_SECONDS)
    set(ARG_SECONDS 60)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Threads::Threads)
  set(work ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
  add_test(NAME ${name}
    COMMAND sh -c "rm -rf '${work}' && mkdir -p '${work}' && cp -r '${CMAKE_SOURCE_DIR}/${ARG_CORPUS}/.' '${work}/' && exec '$<TARGET_FILE:${name}>' -max_total_time=${ARG_SECONDS} -rss_limit_mb=1024 -malloc_limit_mb=256 -timeout=10 -print_final_stats=1 '${work}'")
  set_tests_properties(${name} PROPERTIES LABELS "fuzz" TIMEOUT 900)
  set_property(GLOBAL APPEND PROPERTY VELMORA_FUZZ_TARGETS ${name})
endfunction()

# velmora_benchmark(NAME SOURCES ... LIBS ...)
# Benchmarks print figures; under CTest they run briefly to show they work.
function(velmora_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT VELMORA_BENCH)
    return()
  endif()
  find_package(benchmark REQUIRED)
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark Threads::Threads)
  add_test(NAME ${name} COMMAND ${name} --benchmark_min_time=0.05)
  set_tests_properties(${name} PROPERTIES LABELS "bench" TIMEOUT 300)
  set_property(GLOBAL APPEND PROPERTY VELMORA_BENCHMARKS ${name})
endfunction()

# Targets that build only what one kind of run needs: `tsan_tests`,
# `fuzz_targets`, `benchmarks`. Called once, after every test is declared.
function(velmora_test_groups)
  foreach(group tsan_tests:VELMORA_TSAN_TESTS fuzz_targets:VELMORA_FUZZ_TARGETS benchmarks:VELMORA_BENCHMARKS)
    string(REPLACE ":" ";" pair ${group})
    list(GET pair 0 target)
    list(GET pair 1 property)
    get_property(members GLOBAL PROPERTY ${property})
    add_custom_target(${target})
    if(members)
      add_dependencies(${target} ${members})
    endif()
  endforeach()
endfunction()
