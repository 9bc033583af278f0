# Warnings are errors everywhere; program code has no exceptions and no RTTI.
add_compile_options(-Wall -Wextra -Werror)

if(KANDU_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  # Static runtime: no MinGW DLL needs to stand next to an .exe.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

# Applied to the program's own targets, not to GoogleTest.
function(kandu_program_target target)
  target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()
