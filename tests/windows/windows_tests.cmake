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
