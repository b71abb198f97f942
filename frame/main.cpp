// Process entry of every program executable: hands over to the runtime at once.
#include "frame/frame.h"

int main(int argc, char** argv) { return runtime_start(argc, argv); }
