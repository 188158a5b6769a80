# Every target of ours is built with these warnings; the presets make them
# errors (CMAKE_COMPILE_WARNING_AS_ERROR).
add_compile_options(-Wall -Wextra -Wpedantic)
