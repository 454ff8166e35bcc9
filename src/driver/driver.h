// The command-line driver: the banner, the mode choice, the check run, the
// pause after a failure and the exit status.
#pragma once

namespace vokt {

// The whole program: banner, mode choice, pause and exit status.
int vokt_main(int argc, char** argv);

}  // namespace vokt
