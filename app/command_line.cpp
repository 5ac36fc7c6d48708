#include "app/command_line.h"

#include <boost/program_options.hpp>
#include <exception>
#include <iostream>

namespace corvane {

namespace po = boost::program_options;

bool CommandLine::Parse(int argc, ACE_TCHAR* argv[]) {
    try {
        po::options_description basic("Basic options");
        basic.add_options()("help,h", "Produce this help message.");
        po::options_description all("All Options");
        all.add(basic);

        po::variables_map values;
        po::store(po::parse_command_line(argc, argv, all), values);
        if (values.count("help")) {
            // Ends in a newline of its own; flushed when the process exits.
            std::cout << "Usage: CorvanePing [options]\n"
                         " There are no actual options for the program; it validates the current "
                         "configuration (including logging levels, which may or may not be "
                         "helpful).\n";
            return false;
        }
        po::notify(values);
        return true;
    } catch (const std::exception& error) {
        std::cout << error.what() << std::endl;
        return false;
    }
}

}  // namespace corvane
