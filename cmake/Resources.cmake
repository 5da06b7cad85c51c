# korvel_embed_resources(<target> <function> <id> <type> <file> [<id> <type> <file> ...])
# Compiles the files into <target> and generates `void <function>()`, which
# registers each blob with the platform's resource table under (id, type).
function(korvel_embed_resources target function)
  set(args ${ARGN})
  list(LENGTH args n)
  math(EXPR rem "${n} % 3")
  if(NOT rem EQUAL 0)
    message(FATAL_ERROR "korvel_embed_resources: arguments come in (id type file) triples")
  endif()
  set(out ${KORVEL_GENERATED_DIR}/${function}.cpp)
  set(files)
  set(i 0)
  while(i LESS n)
    math(EXPR j "${i} + 2")
    list(GET args ${j} f)
    list(APPEND files ${f})
    math(EXPR i "${i} + 3")
  endwhile()
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DOUT=${out} -DFUNCTION=${function} "-DENTRIES=${args}"
            -P ${CMAKE_SOURCE_DIR}/cmake/embed_resources.cmake
    DEPENDS ${files} ${CMAKE_SOURCE_DIR}/cmake/embed_resources.cmake
    COMMENT "Embedding resources for ${function}"
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()
