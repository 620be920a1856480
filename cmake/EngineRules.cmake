# Rules for project code and the stricter rules for engine code.
#
# Engine sources are compiled without C++ exceptions and RTTI, and on x86-64 with
# -mgeneral-regs-only so that any floating-point operation is a compile error.
# The few engine sources allowed to use floating point are listed in
# FOLIO_FLOAT_ALLOWED_SOURCES (relative to src/).

# Warnings are errors for developers and CI (tools/test-all.sh turns this on),
# not for people who build the project with another compiler or flags.
option(FOLIO_WERROR "Treat compiler warnings as errors" OFF)

# Tests and tools are built without RTTI too: engine classes carry no type
# information for them to refer to.
set(FOLIO_WARNINGS -Wall -Wextra -fno-rtti)
if(FOLIO_WERROR)
  list(APPEND FOLIO_WARNINGS -Werror)
endif()
if(FOLIO_SANITIZE)
  # gcc's flow analysis gives false "maybe uninitialized" reports on
  # instrumented standard-library code (std::regex, std::function).
  list(APPEND FOLIO_WARNINGS -Wno-maybe-uninitialized)
endif()
if(FOLIO_FUZZ)
  # The fuzz build uses clang, whose warnings differ from gcc's; gcc's
  # builds are the ones that keep the code warning-free.
  set(FOLIO_WARNINGS -Wall -Wextra -fno-rtti)
endif()

set(FOLIO_ENGINE_FLAGS -fno-exceptions -fno-rtti)
# A virtual destructor's deleting variant refers to operator delete even
# though engine objects are only ever destroyed through vn::Delete. gcc
# refers to the sized form, which the engine symbol check tolerates; clang
# would refer to the plain one unless sized deallocation is on.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  list(APPEND FOLIO_ENGINE_FLAGS -fsized-deallocation)
endif()
# Only gcc turns the flag into an error on any floating-point use; clang's
# headers break under it, so clang builds (fuzzing) rely on gcc's check.
set(FOLIO_FLOAT_IS_AN_ERROR OFF)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  list(APPEND FOLIO_ENGINE_FLAGS -mgeneral-regs-only)
  set(FOLIO_FLOAT_IS_AN_ERROR ON)
endif()

set(FOLIO_FLOAT_ALLOWED_SOURCES
  runtime/cache_cost.cpp
  im/filter_kernel_sine.cpp
)

# Applies the engine rules to every source of TARGET below src/ except the
# float-allowed ones, which keep the no-exceptions/no-RTTI rules only.
function(folio_apply_engine_rules target)
  get_target_property(srcs ${target} SOURCES)
  foreach(src IN LISTS srcs)
    file(RELATIVE_PATH rel "${PROJECT_SOURCE_DIR}/src" "${src}")
    if(rel IN_LIST FOLIO_FLOAT_ALLOWED_SOURCES)
      set_source_files_properties(${src} TARGET_DIRECTORY ${target}
        PROPERTIES COMPILE_OPTIONS "-fno-exceptions;-fno-rtti")
    else()
      set_source_files_properties(${src} TARGET_DIRECTORY ${target}
        PROPERTIES COMPILE_OPTIONS "${FOLIO_ENGINE_FLAGS}")
    endif()
  endforeach()
  target_compile_options(${target} PRIVATE ${FOLIO_WARNINGS})
endfunction()
