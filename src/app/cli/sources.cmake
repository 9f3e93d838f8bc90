# quillmar-cli: one file pair per subcommand, on the engine library alone.
target_sources(quillmar_cli PRIVATE
    app/cli/CliProgram.cpp app/cli/CliProgram.h
    app/cli/Command.cpp app/cli/Command.h
    app/cli/Console.cpp app/cli/Console.h
    app/cli/DuplicatesCommand.cpp app/cli/DuplicatesCommand.h
    app/cli/FileListing.cpp app/cli/FileListing.h
    app/cli/JunkCommand.cpp app/cli/JunkCommand.h
    app/cli/LargeCommand.cpp app/cli/LargeCommand.h
    app/cli/ScanCommand.cpp app/cli/ScanCommand.h
    app/cli/TrashCommand.cpp app/cli/TrashCommand.h
)
