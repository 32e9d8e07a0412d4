# The shared library through its real boundary on Linux: loaded by name from
# C with dlopen and from Python with ctypes, and its dynamic symbol table.

add_library(quillet_decoy_alloc MODULE boundary/decoy_alloc.c)
quillet_set_warnings(quillet_decoy_alloc)
add_executable(quillet_dlopen_test boundary/dlopen_test.c boundary/caller_body.c
  boundary/posix_threads.c)
add_dependencies(quillet_dlopen_test quillet_model_answers)
target_include_directories(quillet_dlopen_test PRIVATE ${PROJECT_SOURCE_DIR}/include)
target_compile_definitions(quillet_dlopen_test PRIVATE
  QUILLET_KNOWN_ANSWERS="${QUILLET_KNOWN_ANSWERS}" QUILLET_MODEL_ANSWERS="${QUILLET_MODEL_ANSWERS}")
target_link_libraries(quillet_dlopen_test PRIVATE Threads::Threads ${CMAKE_DL_LIBS})
quillet_set_warnings(quillet_dlopen_test)
add_dependencies(quillet_dlopen_test quillet)
# libcrypto, which exports an MD5 of its own, goes first where there is one.
set(QUILLET_LIBCRYPTO "")
if(TARGET OpenSSL::Crypto)
  set(QUILLET_LIBCRYPTO $<TARGET_FILE:OpenSSL::Crypto>)
endif()
add_test(NAME boundary.dlopen
  COMMAND quillet_dlopen_test $<TARGET_FILE:quillet_decoy_alloc> ${QUILLET_LIBCRYPTO})
set_tests_properties(boundary.dlopen PROPERTIES
  ENVIRONMENT "LD_LIBRARY_PATH=$<TARGET_FILE_DIR:quillet>")

# The streaming interface (quillet/stream.h) from C, linked as a C program
# links the library: every answer split every way, every error.
add_executable(quillet_stream_test boundary/stream_test.c boundary/caller_body.c)
add_dependencies(quillet_stream_test quillet_model_answers)
target_compile_definitions(quillet_stream_test PRIVATE
  QUILLET_KNOWN_ANSWERS="${QUILLET_KNOWN_ANSWERS}" QUILLET_MODEL_ANSWERS="${QUILLET_MODEL_ANSWERS}")
target_link_libraries(quillet_stream_test PRIVATE quillet)
quillet_set_warnings(quillet_stream_test)
add_test(NAME boundary.stream COMMAND quillet_stream_test)

# A program linked with libcrypto before libquillet (both export MD5) calls
# every export through the link.
if(TARGET OpenSSL::Crypto)
  add_executable(quillet_link_order_test boundary/link_order_test.c)
  target_link_libraries(quillet_link_order_test PRIVATE OpenSSL::Crypto quillet)
  quillet_set_warnings(quillet_link_order_test)
  add_test(NAME boundary.link_order COMMAND quillet_link_order_test)
endif()

add_executable(quillet_guard_page_tests boundary/guard_page_test.cpp)
target_link_libraries(quillet_guard_page_tests PRIVATE quillet GTest::gtest_main)
quillet_set_warnings(quillet_guard_page_tests)
quillet_add_gtest(quillet_guard_page_tests)

# The library's structure, read with the target's binutils (not under the
# sanitizers, whose instrumentation adds constructors of its own).
if(NOT QUILLET_SANITIZE)
add_library(quillet_empty_reference MODULE boundary/empty_reference.c)
find_program(QUILLET_READELF NAMES ${CMAKE_READELF} readelf)
add_test(NAME boundary.elf_structure
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/check_shared_object.py
    --readelf ${QUILLET_READELF} --nm ${CMAKE_NM}
    --reference $<TARGET_FILE:quillet_empty_reference> $<TARGET_FILE:quillet>
    StandardSHA BrokenSHA LockdownSHA MD5 DoubleHashPassword
    SysAllocStringByteLen SysFreeString SysStringByteLen
    quillet_StandardSHA quillet_BrokenSHA quillet_LockdownSHA quillet_MD5
    quillet_DoubleHashPassword quillet_SysAllocStringByteLen quillet_SysFreeString
    quillet_SysStringByteLen
    # The streaming interface (quillet/stream.h), in a node of its own.
    quillet_version@QUILLET_0.1 quillet_abi_version@QUILLET_0.1
    quillet_status_text@QUILLET_0.1 quillet_algorithm_count@QUILLET_0.1
    quillet_algorithm_name@QUILLET_0.1 quillet_algorithm_find@QUILLET_0.1
    quillet_digest_size@QUILLET_0.1 quillet_digest_size_by_name@QUILLET_0.1
    quillet_digest@QUILLET_0.1 quillet_digest_many@QUILLET_0.1
    quillet_hasher_new@QUILLET_0.1 quillet_hasher_update@QUILLET_0.1
    quillet_hasher_finish@QUILLET_0.1 quillet_hasher_copy@QUILLET_0.1
    quillet_hasher_reset@QUILLET_0.1 quillet_hasher_algorithm@QUILLET_0.1
    quillet_hasher_free@QUILLET_0.1 quillet_state_size@QUILLET_0.1
    quillet_state_align@QUILLET_0.1 quillet_state_init@QUILLET_0.1
    quillet_state_update@QUILLET_0.1 quillet_state_finish@QUILLET_0.1
    quillet_state_copy@QUILLET_0.1 quillet_state_reset@QUILLET_0.1
    quillet_state_clear@QUILLET_0.1)
endif()

set(QUILLET_PYTHON_ENV "QUILLET_LIBRARY=$<TARGET_FILE:quillet>")
# What runs only on the host: Python (not built with the sanitizers, so it
# cannot load the library when the library is; and of the host's machine),
# the tool beside coreutils, the installed tree, the README's programs.
if(NOT QUILLET_SANITIZE AND NOT CMAKE_CROSSCOMPILING)
add_test(NAME boundary.python_ctypes
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/python/test_ctypes.py -v)
set_tests_properties(boundary.python_ctypes PROPERTIES ENVIRONMENT "${QUILLET_PYTHON_ENV}")

add_test(NAME boundary.stream_ctypes
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/python/test_stream_ctypes.py -v)
set_tests_properties(boundary.stream_ctypes PROPERTIES ENVIRONMENT "${QUILLET_PYTHON_ENV}")

# The Go package against this build's library (skipped where Go is not
# installed); Go's cache stays in the build tree.
add_test(NAME bindings.go
  COMMAND sh ${PROJECT_SOURCE_DIR}/bindings/go/run_tests.sh ${CMAKE_BINARY_DIR})
set_tests_properties(bindings.go PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300 ENVIRONMENT
  "QUILLET_LIBRARY_DIR=$<TARGET_FILE_DIR:quillet>;QUILLET_MODEL_ANSWERS=${QUILLET_MODEL_ANSWERS}")

add_test(NAME boundary.large_input
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/python/test_ctypes.py -v LargeInputTest)
set_tests_properties(boundary.large_input PROPERTIES
  ENVIRONMENT "${QUILLET_PYTHON_ENV};QUILLET_LARGE=1" LABELS slow TIMEOUT 600)

endif()

if(NOT CMAKE_CROSSCOMPILING)
# The command-line tool, run as a user runs it, with a shim that injects read
# errors (not under the sanitizers, whose runtime must come first).
add_library(quillet_fail_read MODULE tool/fail_read.c)
set_target_properties(quillet_fail_read PROPERTIES C_VISIBILITY_PRESET default)
target_link_libraries(quillet_fail_read PRIVATE ${CMAKE_DL_LIBS})
set(QUILLET_TOOL_ENV "QUILLET_TOOL=$<TARGET_FILE:quillet_cli>")
if(NOT QUILLET_SANITIZE)
  list(APPEND QUILLET_TOOL_ENV "QUILLET_FAIL_READ_SHIM=$<TARGET_FILE:quillet_fail_read>")
else()
  list(APPEND QUILLET_TOOL_ENV "QUILLET_SANITIZED=${QUILLET_SANITIZE}")
endif()
add_test(NAME tool.cli
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tool/test_tool.py -v)
set_tests_properties(tool.cli PROPERTIES ENVIRONMENT "${QUILLET_TOOL_ENV}" TIMEOUT 300)
add_test(NAME tool.large_file
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tool/test_tool.py -v LargeFileTest)
set_tests_properties(tool.large_file PROPERTIES
  ENVIRONMENT "QUILLET_TOOL=$<TARGET_FILE:quillet_cli>;QUILLET_LARGE=1" LABELS slow TIMEOUT 600)

# The installed tree, consumed by a separate project (built without the
# sanitizers, so not in sanitizer builds).
if(NOT QUILLET_SANITIZE)
add_test(NAME install.consumer
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/consumer/run.sh ${CMAKE_BINARY_DIR}
    ${CMAKE_BINARY_DIR}/consumer-scratch)
# Both configure and build the library again: slow, as the runs past 512 MiB.
set_tests_properties(install.consumer PROPERTIES TIMEOUT 300 LABELS slow)
add_test(NAME install.subproject
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/subproject/run.sh ${PROJECT_SOURCE_DIR}
    ${CMAKE_BINARY_DIR}/subproject-scratch)
set_tests_properties(install.subproject PROPERTIES TIMEOUT 600 LABELS slow)
endif()

# The README's examples: the files under examples/, word for word, printing
# what the README says.
if(QUILLET_BUILD_EXAMPLES AND NOT QUILLET_SANITIZE)
  add_test(NAME readme.examples
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/check_readme.py
      ${PROJECT_SOURCE_DIR}/README.md ${CMAKE_BINARY_DIR})
endif()

# The engine and the exports on emulated CPUs with less than this one: SSE2
# and SSE3 only (qemu64), no AVX (Nehalem), AVX2 without SHA extensions
# (Haswell). Every result must still be right, and nothing may be run that
# the CPU lacks.
find_program(QUILLET_QEMU qemu-x86_64)
if(QUILLET_QEMU AND CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64" AND NOT QUILLET_SANITIZE)
  foreach(model qemu64 Nehalem Haswell-noTSX)
    foreach(program quillet_unit_tests quillet_export_tests)
      add_test(NAME cpu_model.${model}.${program}
        COMMAND ${QUILLET_QEMU} -cpu ${model} $<TARGET_FILE:${program}>)
      set_tests_properties(cpu_model.${model}.${program} PROPERTIES TIMEOUT 900)
    endforeach()
  endforeach()
endif()
endif()  # NOT CMAKE_CROSSCOMPILING

# The streaming interface's header is C89, warnings as errors (C++ reads it
# in the library's own source).
if(CMAKE_C_COMPILER_ID MATCHES "GNU|Clang")
  add_test(NAME api.stream_header_c89
    COMMAND ${CMAKE_C_COMPILER} -std=c89 -pedantic-errors ${QUILLET_WARNINGS} -Werror
      -fsyntax-only -x c ${PROJECT_SOURCE_DIR}/include/quillet/stream.h)
endif()

# The C++ header read by an older standard says what it needs, in one line.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_test(NAME api.header_names_cxx20
    COMMAND ${CMAKE_CXX_COMPILER} -std=c++17 -fsyntax-only -x c++
      -I${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR}/include/quillet/digest.hpp)
  set_tests_properties(api.header_names_cxx20 PROPERTIES
    PASS_REGULAR_EXPRESSION "needs C\\+\\+20 or later")
endif()
