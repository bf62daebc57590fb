# The engine's native tier: passes compiled in-process through LLVM's ORC JIT.
# Found through llvm-config (Debian's LLVM CMake package lists targets of
# packages that are not installed). The code generator (sim/native/llvm) is a
# module of its own, libkavrel_native.so, linked against the shared libLLVM
# and loaded by the engine on its first compile: a process that never
# compiles does not map LLVM. Without LLVM (or with KAVREL_NATIVE off, as in
# a build of the fuzz targets alone) the engine is the interpreter alone.
set(kavrel_native_default ON)
if(KAVREL_FUZZ AND NOT KAVREL_SANITIZE)
    set(kavrel_native_default OFF)
endif()
option(KAVREL_NATIVE "Compile the engine's passes to native code through LLVM when found"
       ${kavrel_native_default})
set(KAVREL_NATIVE_FOUND OFF)
# The code generator's files.
file(GLOB kavrel_native_llvm_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/sim/native/llvm/*.cpp)
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
    # Only the module's files see LLVM's headers (as system headers: they are
    # not clean under -Wextra in C++20).
    add_library(kavrel_native MODULE ${kavrel_native_llvm_sources})
    target_include_directories(kavrel_native PRIVATE ${PROJECT_SOURCE_DIR})
    target_include_directories(kavrel_native SYSTEM PRIVATE ${llvm_include})
    target_compile_definitions(kavrel_native PRIVATE KAVREL_WITH_LLVM=1 __STDC_CONSTANT_MACROS
                               __STDC_FORMAT_MACROS __STDC_LIMIT_MACROS)
    # The engine's functions it calls are the program's own (exported below);
    # its own functions bind within it.
    target_link_libraries(kavrel_native PRIVATE ${KAVREL_LLVM_LIBRARY})
    target_link_options(kavrel_native PRIVATE -Wl,-Bsymbolic-functions)
    if(KAVREL_FUZZ)
        # The fuzz targets run without the code generator: no coverage for it.
        target_compile_options(kavrel_native PRIVATE -fno-sanitize=fuzzer-no-link)
    endif()
    set_target_properties(kavrel_native PROPERTIES LIBRARY_OUTPUT_DIRECTORY
                          ${PROJECT_BINARY_DIR}/app)
    # The engine finds it beside the program, in an install's lib/kavrel, or
    # where this build made it.
    set_property(SOURCE ${PROJECT_SOURCE_DIR}/sim/native/loader.cpp
                 ${PROJECT_SOURCE_DIR}/sim/native/compile.cpp APPEND PROPERTY
                 COMPILE_DEFINITIONS "KAVREL_NATIVE_MODULE=\"$<TARGET_FILE:kavrel_native>\"")
    add_dependencies(kavrel_sim kavrel_native)
    if(KAVREL_SANITIZE)
        # The leak checker of Debian 12's compilers misreads the thread-local
        # storage of a library loaded late (libLLVM's, set up lazily) and
        # crashed at exit: in the sanitizer build every program maps libLLVM
        # from its start, and the module alone is loaded on the first compile.
        target_link_libraries(kavrel_sim PUBLIC -Wl,--no-as-needed ${KAVREL_LLVM_LIBRARY})
    endif()
    target_link_libraries(kavrel_sim PUBLIC ${CMAKE_DL_LIBS})
    # Every program exports the engine's symbols the module uses (and no
    # others), so that the module links with the engine it was loaded into.
    string(APPEND CMAKE_EXE_LINKER_FLAGS
           " -Wl,--dynamic-list=${PROJECT_SOURCE_DIR}/cmake/native_exports.list")
    install(TARGETS kavrel_native LIBRARY DESTINATION lib/kavrel)
    set_property(GLOBAL APPEND PROPERTY kavrel_layers
        "kavrel_native|$<TARGET_FILE:kavrel_native>|sim/native/llvm|kavrel_sim|")
endif()

# CI runs the tests that compile while models run, reopen and close under
# ThreadSanitizer in a build like the Release one (its other objects come from
# the compiler cache): only the files of the worker thread and its handover
# are instrumented, and everything is linked with the sanitizer's runtime.
option(KAVREL_NATIVE_TSAN "Instrument the native tier's threaded code with ThreadSanitizer" OFF)
if(KAVREL_NATIVE_TSAN)
    set_property(SOURCE ${PROJECT_SOURCE_DIR}/sim/native/compile.cpp
                 ${PROJECT_SOURCE_DIR}/sim/native/worker.cpp ${PROJECT_SOURCE_DIR}/sim/native/loader.cpp
                 ${PROJECT_SOURCE_DIR}/sim/native/trim.cpp
                 ${PROJECT_SOURCE_DIR}/sim/native/llvm/jit.cpp
                 ${PROJECT_SOURCE_DIR}/sim/native/llvm/emit.cpp ${PROJECT_SOURCE_DIR}/sim/flat.cpp
                 APPEND PROPERTY COMPILE_OPTIONS -fsanitize=thread)
    add_link_options(-fsanitize=thread)
endif()
