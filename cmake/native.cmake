# The engine's native tier: passes compiled in-process through LLVM's ORC JIT.
# Found through llvm-config (Debian's LLVM CMake package lists targets of
# packages that are not installed); linked against the shared libLLVM, so the
# build compiles one file more and links nothing slow. Without LLVM (or with
# KAVREL_NATIVE off, as in the fuzz build) the engine is the interpreter alone.
set(kavrel_native_default ON)
if(KAVREL_FUZZ)
    set(kavrel_native_default OFF)
endif()
option(KAVREL_NATIVE "Compile the engine's passes to native code through LLVM when found"
       ${kavrel_native_default})
set(KAVREL_NATIVE_FOUND OFF)
# The files that build with LLVM when it is found (the define tells them).
set(kavrel_native_llvm_sources
    ${PROJECT_SOURCE_DIR}/sim/native/compile.cpp
    ${PROJECT_SOURCE_DIR}/sim/native/emit.cpp
    ${PROJECT_SOURCE_DIR}/sim/native/jit.cpp
    ${PROJECT_SOURCE_DIR}/sim/native/wide.cpp)
if(KAVREL_NATIVE)
    find_program(KAVREL_LLVM_CONFIG NAMES llvm-config-14 llvm-config-15 llvm-config)
    if(KAVREL_LLVM_CONFIG)
        execute_process(COMMAND ${KAVREL_LLVM_CONFIG} --version OUTPUT_VARIABLE llvm_version
                        OUTPUT_STRIP_TRAILING_WHITESPACE)
        execute_process(COMMAND ${KAVREL_LLVM_CONFIG} --includedir OUTPUT_VARIABLE llvm_include
                        OUTPUT_STRIP_TRAILING_WHITESPACE)
        execute_process(COMMAND ${KAVREL_LLVM_CONFIG} --libdir OUTPUT_VARIABLE llvm_libdir
                        OUTPUT_STRIP_TRAILING_WHITESPACE)
        string(REGEX MATCH "^[0-9]+" llvm_major "${llvm_version}")
        find_library(KAVREL_LLVM_LIBRARY NAMES LLVM-${llvm_major} LLVM PATHS ${llvm_libdir}
                     NO_DEFAULT_PATH)
        if(KAVREL_LLVM_LIBRARY AND llvm_major GREATER_EQUAL 14 AND llvm_major LESS_EQUAL 15)
            set(KAVREL_NATIVE_FOUND ON)
        endif()
    endif()
    if(KAVREL_NATIVE_FOUND)
        message(STATUS "Native engine tier: LLVM ${llvm_version} (${KAVREL_LLVM_LIBRARY})")
    else()
        message(STATUS "Native engine tier: LLVM 14 or 15 not found; the interpreter alone")
    endif()
endif()
if(KAVREL_NATIVE_FOUND)
    # Only the native tier's own files see LLVM's headers (as system headers:
    # they are not clean under -Wextra in C++20).
    set_source_files_properties(${kavrel_native_llvm_sources} PROPERTIES
        COMPILE_DEFINITIONS "KAVREL_WITH_LLVM=1;__STDC_CONSTANT_MACROS;__STDC_FORMAT_MACROS;__STDC_LIMIT_MACROS"
        COMPILE_OPTIONS "-isystem;${llvm_include}"
        SKIP_PRECOMPILE_HEADERS ON)
    target_link_libraries(kavrel_sim PUBLIC ${KAVREL_LLVM_LIBRARY})
endif()

# CI runs the tests that compile while models run, reopen and close under
# ThreadSanitizer in a build like the Release one (its other objects come from
# the compiler cache): only the files of the worker thread and its handover
# are instrumented, and everything is linked with the sanitizer's runtime.
option(KAVREL_NATIVE_TSAN "Instrument the native tier's threaded code with ThreadSanitizer" OFF)
if(KAVREL_NATIVE_TSAN)
    set_property(SOURCE ${PROJECT_SOURCE_DIR}/sim/native/compile.cpp
                 ${PROJECT_SOURCE_DIR}/sim/native/worker.cpp ${PROJECT_SOURCE_DIR}/sim/native/jit.cpp
                 ${PROJECT_SOURCE_DIR}/sim/native/emit.cpp ${PROJECT_SOURCE_DIR}/sim/flat.cpp
                 APPEND PROPERTY COMPILE_OPTIONS -fsanitize=thread)
    add_link_options(-fsanitize=thread)
endif()
