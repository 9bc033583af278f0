# Windows builds take MinGW-w64's GCC: the options here, the programs' own
# entries and their link options are GCC's and GNU ld's, and no other
# compiler has built the project for Windows.
if(MSVC OR (WIN32 AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU"))
  message(FATAL_ERROR "Kandu builds for Windows with the MinGW-w64 toolchain's GCC only, not with "
    "${CMAKE_CXX_COMPILER_ID}; see docs/building-on-windows.md")
endif()

# Warnings are errors everywhere; program code has no exceptions and no RTTI.
add_compile_options(-Wall -Wextra -Werror)

if(KANDU_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  # SSE arithmetic so that every single-precision store really rounds to
  # single precision; x87 excess precision would change results.
  add_compile_options(-msse2 -mfpmath=sse)
endif()

if(WIN32)
  # Static runtime: no MinGW DLL needs to stand next to an .exe.
  add_link_options(-static -static-libgcc -static-libstdc++)
  # Reproducible programs: no link time in the PE header, and file names in
  # the objects relative to the source tree, wherever it was checked out.
  add_link_options(-Wl,--no-insert-timestamp)
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=)
endif()

# Applied to the program's own targets, not to GoogleTest.
function(kandu_program_target target)
  target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti)
  if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    # 32-bit Windows unwinds through SEH frames and never reads DWARF unwind
    # tables; without exceptions nothing else does either.
    target_compile_options(${target} PRIVATE -fno-asynchronous-unwind-tables -fno-unwind-tables)
  endif()
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# Code of the window program: small, and in sections the linker can drop.
function(kandu_small_target target)
  target_compile_options(${target} PRIVATE -Os -ffunction-sections)
endfunction()

# The PE header flags of a program: ASLR and DEP (and high-entropy addresses
# on 64-bit) are the linker's defaults; Remote Desktop need not fake an old
# Windows's behaviour for it. 32-bit programs register no structured
# exception handler, and GNU ld cannot write the table of handlers that
# SafeSEH would check, so they say they have none.
function(kandu_pe_flags target)
  if(WIN32)
    target_link_options(${target} PRIVATE -Wl,--tsaware)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      target_link_options(${target} PRIVATE -Wl,--no-seh)
    endif()
  endif()
endfunction()
