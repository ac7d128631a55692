# Text files compiled into a program: a C++ source that defines, for each
# file NAME.EXT, `const std::string_view kNAME` (first letter upper case) in
# NAMESPACE, holding the file's bytes exactly, as a raw string literal. The
# declarations are the caller's, in HEADER, which the source includes. Run
# at build time:
#   cmake -DOUTPUT=file.cpp -DHEADER=name.h -DNAMESPACE=ns "-DINPUTS=a.lua;b.lua" -P embed_text.cmake
set(delimiter "zrtext")
set(source "// Generated at build time from the files named below; edit those, not this.\n")
string(APPEND source "#include \"${HEADER}\"\n\nnamespace ${NAMESPACE} {\n")
foreach(input IN LISTS INPUTS)
  get_filename_component(name ${input} NAME_WE)
  if(NOT name MATCHES "^[a-z][A-Za-z0-9]*$")
    message(FATAL_ERROR "${input}: the name ${name} cannot make a C++ identifier k<Name>")
  endif()
  string(SUBSTRING ${name} 0 1 first)
  string(TOUPPER ${first} first)
  string(SUBSTRING ${name} 1 -1 rest)
  file(READ ${input} text)
  if(text MATCHES "\\)${delimiter}\"")
    message(FATAL_ERROR "${input} holds )${delimiter}\", which would end its raw string literal")
  endif()
  get_filename_component(file ${input} NAME)
  string(APPEND source "\n// ${file}\nconst std::string_view k${first}${rest} = R\"${delimiter}(${text})${delimiter}\";\n")
endforeach()
string(APPEND source "\n}  // namespace ${NAMESPACE}\n")
file(WRITE ${OUTPUT} "${source}")
