# Turns a UTF-8 string table into C source defining the table under a given symbol.
#   zandrel_string_table_source(<output.c> <table.tsv> <symbol>)
function(zandrel_string_table_source output table symbol)
    add_custom_command(
        OUTPUT ${output}
        COMMAND zandrel-strtab ${table} ${output} ${symbol}
        DEPENDS zandrel-strtab ${table}
        COMMENT "Building string table ${symbol} from ${table}"
        VERBATIM)
endfunction()

# Builds a language library ZandrelR.so from a UTF-8 string table into its own folder
# (<build>/languages/<name>/ZandrelR.so), so that it is never picked up by accident.
#   zandrel_add_language_library(<name> <table.tsv>)
function(zandrel_add_language_library name table)
    get_filename_component(table_path ${table} ABSOLUTE)
    set(source ${CMAKE_CURRENT_BINARY_DIR}/${name}_strings.c)
    zandrel_string_table_source(${source} ${table_path} zandrel_string_table)
    add_library(${name} MODULE ${source})
    set_target_properties(${name} PROPERTIES
        OUTPUT_NAME ZandrelR
        PREFIX ""
        SUFFIX ".so"
        C_VISIBILITY_PRESET hidden
        LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/languages/${name})
endfunction()

# Installs a language library into its own folder under the program's library folder:
# <libdir>/zandrel/languages/<language>/ZandrelR.so.
function(zandrel_install_language_library name language)
    install(TARGETS ${name} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/zandrel/languages/${language})
endfunction()
