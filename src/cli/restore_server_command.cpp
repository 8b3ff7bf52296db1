// zarafa-repair restore-server: puts back server files that an interrupted repair moved aside.
#include "cli/cli_commands.h"
#include "job/rebuild_phases.h"

#include <CLI/CLI.hpp>
#include <iostream>

namespace cli {

namespace {

job::RebuildSettings g_restoreSettings;

} // namespace

void addRestoreServerCommand(CLI::App &app)
{
    auto *command = app.add_subcommand("restore-server",
        "Put back the server's own files that an interrupted repair left in an OldData folder; "
        "what was rebuilt goes to a Recovered Folder");
    command->add_option(
        "--workshop", g_restoreSettings.workshopFolder, "Folder of the private workshop server");
    auto *service = command->add_option("--server-service", g_restoreSettings.serverService,
        "The systemd MySQL service the repair used");
    command
        ->add_option("--server-data-folder", g_restoreSettings.serverDataFolder,
            "The data folder of that service's server")
        ->needs(service);
}

int runRestoreServerCommand(CLI::App &app)
{
    const CLI::App *command = app.get_subcommand("restore-server");
    if (command == nullptr || !command->parsed()) {
        return -1;
    }
    auto server = job::createServerControl(g_restoreSettings);
    const auto restored = job::restoreUnfinishedRepairs(
        *server, [](const std::string &line) { std::cout << line << std::endl; });
    if (restored.empty()) {
        std::cout << "No unfinished repair in " << server->dataFolder() << std::endl;
    }
    return 0;
}

} // namespace cli
