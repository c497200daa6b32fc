// The mtsrescue window program.
#include "ui/StartUp.h"

int main(int argc, char** argv) { return mtsrescue::RunProgram(argc, argv); }
