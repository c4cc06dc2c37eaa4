#include "cli/app.h"

int main(int argc, char** argv) { return krt6::cli::RunKrt6ctl(argc, argv); }
