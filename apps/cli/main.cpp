// tavrel: the command-line tool over the host library. Each subcommand lives in its own file
// and registers itself here.
#include "commands.h"
#include "tool_documents.h"

int main(int argc, char** argv) {
    CLI::App app{"tavrel: drives the annulus hydraulics plug-ins through their MEX entry"};
    app.require_subcommand(1);
    tavrel::cli::addSizesCommand(app);
    tavrel::cli::addEvalCommand(app);
#ifdef TAVREL_HAVE_RUN_COMMAND
    tavrel::cli::addRunCommand(app);
#endif
#ifdef TAVREL_HAVE_STUDY_COMMAND
    tavrel::cli::addStudyCommand(app);
    tavrel::cli::addOptimizeCommand(app);
#endif
#ifdef TAVREL_HAVE_LINEARIZE_COMMAND
    tavrel::cli::addLinearizeCommand(app);
    tavrel::cli::addDesignCommand(app);
#endif
#ifdef TAVREL_HAVE_SERVE_COMMAND
    tavrel::cli::addServeCommand(app);
#endif
#ifdef TAVREL_HAVE_FMU_COMMAND
    tavrel::cli::addFmuCommand(app);
#endif
    tavrel::cli::addToolDocuments(app);
    CLI11_PARSE(app, argc, argv);
    return 0;
}
