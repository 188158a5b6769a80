# The source files of one of our targets, as full paths, so that a second
# build of the same code (with other flags, or with a stand-in for one of
# its parts) takes them from the target and cannot miss a file. Resource
# scripts are left out: their settings belong to the target's own folder.
function(taschenrechner_source_paths target out)
  get_target_property(sources ${target} SOURCES)
  get_target_property(folder ${target} SOURCE_DIR)
  list(FILTER sources EXCLUDE REGEX "\\.rc$")
  list(TRANSFORM sources PREPEND ${folder}/)
  set(${out} ${sources} PARENT_SCOPE)
endfunction()
