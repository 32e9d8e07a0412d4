# Quillet.DLL under Wine, and its PE structure checked natively.

# The Wine prefix is created once, by a setup step of its own, so that no
# test's time includes Wine's first start.
add_test(NAME wine.prefix
  COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-run ${QUILLET_WINEPREFIX} --prepare)
set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)

add_executable(quillet_win_caller_test windows/win_caller_test.c boundary/caller_body.c)
target_include_directories(quillet_win_caller_test PRIVATE ${PROJECT_SOURCE_DIR}/include)
target_compile_definitions(quillet_win_caller_test PRIVATE
  QUILLET_KNOWN_ANSWERS="${QUILLET_KNOWN_ANSWERS}")
target_link_libraries(quillet_win_caller_test PRIVATE oleaut32 version)
quillet_set_warnings(quillet_win_caller_test)
add_dependencies(quillet_win_caller_test quillet)
add_test(NAME boundary.win_caller COMMAND quillet_win_caller_test)
set_tests_properties(boundary.win_caller PROPERTIES SKIP_RETURN_CODE 77 FIXTURES_REQUIRED wine)

# QuilletStream.dll through its import library, as a C program links it.
set(QUILLET_STREAM_MODEL_ANSWERS "Z:${QUILLET_MODEL_ANSWERS}")
add_executable(quillet_stream_test boundary/stream_test.c boundary/caller_body.c)
add_dependencies(quillet_stream_test quillet_model_answers)
target_compile_definitions(quillet_stream_test PRIVATE
  QUILLET_KNOWN_ANSWERS="${QUILLET_KNOWN_ANSWERS}"
  QUILLET_MODEL_ANSWERS="${QUILLET_STREAM_MODEL_ANSWERS}")
target_link_libraries(quillet_stream_test PRIVATE quillet_stream)
quillet_set_warnings(quillet_stream_test)
add_test(NAME boundary.stream COMMAND quillet_stream_test)
set_tests_properties(boundary.stream PROPERTIES SKIP_RETURN_CODE 77 FIXTURES_REQUIRED wine)

# Export names, stdcall argument removal, imports and the version resource,
# read from the file itself: these hold whether or not Wine can run it.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QUILLET_PE_BITS 32)
else()
  set(QUILLET_PE_BITS 64)
endif()
add_test(NAME boundary.pe_structure
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/windows/check_pe.py
    --objdump ${CMAKE_OBJDUMP} --bits ${QUILLET_PE_BITS} $<TARGET_FILE:quillet>)

add_test(NAME boundary.pe_structure_stream
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/windows/check_pe.py
    --objdump ${CMAKE_OBJDUMP} --bits ${QUILLET_PE_BITS}
    --stream ${PROJECT_SOURCE_DIR}/src/boundary/quillet_stream.def $<TARGET_FILE:quillet_stream>)

# Timing of the exports under Windows or Wine (run by hand; see README).
add_executable(quillet_win_bench ${PROJECT_SOURCE_DIR}/bench/win_bench.c)
target_link_libraries(quillet_win_bench PRIVATE oleaut32)
quillet_set_warnings(quillet_win_bench)

# The README's Windows example, run under Wine and checked against the README.
add_executable(example_windows_loadlibrary ${PROJECT_SOURCE_DIR}/examples/windows_loadlibrary.c)
target_link_libraries(example_windows_loadlibrary PRIVATE oleaut32)
quillet_set_warnings(example_windows_loadlibrary)
add_dependencies(example_windows_loadlibrary quillet)
add_test(NAME readme.windows_example
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/check_readme.py
    ${PROJECT_SOURCE_DIR}/README.md ${CMAKE_BINARY_DIR}
    --windows ${PROJECT_SOURCE_DIR}/cmake/wine-run ${QUILLET_WINEPREFIX} ${QUILLET_WINE_BITS})
set_tests_properties(readme.windows_example PROPERTIES FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77)

# The 32-bit DLL through a loader of our own (pe_loader_test.c): a static
# 32-bit Linux program, run natively where this kernel runs 32-bit programs
# (the CPU's own paths: SHA extensions, AVX-512) and under qemu-i386 with two
# CPU models (max: the AVX2 paths; Nehalem: the SSE ones). A runner that is
# missing makes its test say so and skip.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  find_program(QUILLET_I686_LINUX_CC i686-linux-gnu-gcc)
  set(loader ${CMAKE_CURRENT_BINARY_DIR}/pe_loader_test)
  if(QUILLET_I686_LINUX_CC)
    set(sources ${CMAKE_CURRENT_SOURCE_DIR}/windows/pe_loader_test.c
      ${CMAKE_CURRENT_SOURCE_DIR}/boundary/caller_body.c
      ${CMAKE_CURRENT_SOURCE_DIR}/boundary/posix_threads.c
      ${PROJECT_SOURCE_DIR}/bench/export_timing.c)
    add_custom_command(OUTPUT ${loader}
      COMMAND ${QUILLET_I686_LINUX_CC} -std=c11 -D_GNU_SOURCE -O2 ${QUILLET_WARNINGS} -Werror
        -static -pthread -mstackrealign "-DCALLER_CALL=__attribute__((stdcall))"
        -I${PROJECT_SOURCE_DIR}/include
        "-DQUILLET_KNOWN_ANSWERS=\"${CMAKE_CURRENT_SOURCE_DIR}/vectors/known_answers.txt\""
        "-DQUILLET_MODEL_ANSWERS=\"${QUILLET_MODEL_ANSWERS}\""
        ${sources} -o ${loader}
      DEPENDS ${sources} ${CMAKE_CURRENT_SOURCE_DIR}/boundary/caller.h
        ${PROJECT_SOURCE_DIR}/bench/export_timing.h
      COMMENT "The PE loader (i686 Linux)" VERBATIM)
    add_custom_target(quillet_pe_loader ALL DEPENDS ${loader})
    add_dependencies(quillet_pe_loader quillet_model_answers)
  endif()
  foreach(runner native max Nehalem)
    string(TOLOWER ${runner} name)
    if(NOT runner STREQUAL native)
      set(name qemu_${name})
    endif()
    add_test(NAME boundary.pe_loader.${name}
      COMMAND ${PROJECT_SOURCE_DIR}/cmake/i386-run ${runner} ${loader} $<TARGET_FILE:quillet>)
    set_tests_properties(boundary.pe_loader.${name} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
  endforeach()
  # Its timing mode (bench/dll_ratios.py) run once, a millisecond a
  # repetition, so that it keeps working; its figures mean nothing here.
  add_test(NAME bench.pe_loader_runs
    COMMAND ${PROJECT_SOURCE_DIR}/cmake/i386-run native ${loader} --bench $<TARGET_FILE:quillet> 0.001)
  set_tests_properties(bench.pe_loader_runs PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60)
endif()
