# Warnings for every target of the project.
add_compile_options(-Wall -Wextra)

# GCC 12 reports -Wrestrict inside std::string's own code when optimising string
# concatenations (GCC bug 105329); nothing in our code is involved.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-restrict)
endif()
