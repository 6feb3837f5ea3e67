# Writes the schema's upgrade steps (db/steps/NNNN_name.sql) into a C++
# source, so that the program carries them and needs no files at run time.
# Included with STEPS_DIR and OUTPUT set.
file(GLOB steps "${STEPS_DIR}/[0-9][0-9][0-9][0-9]_*.sql")
list(SORT steps)
set(body "")
foreach(path IN LISTS steps)
  unset(sql)
  get_filename_component(file "${path}" NAME_WE)
  string(SUBSTRING "${file}" 0 4 number)
  string(SUBSTRING "${file}" 5 -1 name)
  math(EXPR number "${number}")
  file(READ "${path}" sql)
  string(FIND "${sql}" ")tabel_step\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${path} holds the literal's closing delimiter")
  endif()
  string(APPEND body "    {${number}, QStringLiteral(\"${name}\"), QString::fromUtf8(R\"tabel_step(${sql})tabel_step\")},\n")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Generated from db/steps by embed_steps.cmake; do not edit.
#include \"db/schema_steps.h\"

namespace tabel {

const std::vector<SchemaStep>& embeddedSchemaSteps() {
    static const std::vector<SchemaStep> steps = parseSchemaSteps({
${body}    });
    return steps;
}

} // namespace tabel
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
