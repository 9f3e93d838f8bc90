# Run when installing: writes the desktop entry for the program at QUILLMAR_PROGRAM from
# QUILLMAR_ENTRY_IN to QUILLMAR_ENTRY. Exec is quoted as the entry format asks (as the
# program does for an unpacked copy): in double quotes when the path holds a reserved
# character, with " ` $ and \ escaped inside them, a percent sign doubled, then every
# backslash doubled again for the value's own escapes. A line break can't be written.
set(exec "${QUILLMAR_PROGRAM}")
if(exec MATCHES "[\n\r\t]")
    message(FATAL_ERROR "A menu entry can't name a program whose path holds a line break or tab")
endif()
if(exec MATCHES "[ \"'\\\\><~|&;$*?#()`]")
    string(REPLACE "\\" "\\\\" exec "${exec}")
    string(REPLACE "\"" "\\\"" exec "${exec}")
    string(REPLACE "`" "\\`" exec "${exec}")
    string(REPLACE "$" "\\$" exec "${exec}")
    set(exec "\"${exec}\"")
endif()
string(REPLACE "%" "%%" exec "${exec}")
string(REPLACE "\\" "\\\\" QUILLMAR_EXEC "${exec}")
configure_file("${QUILLMAR_ENTRY_IN}" "${QUILLMAR_ENTRY}" @ONLY)
