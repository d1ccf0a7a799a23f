// Auto Quillmer: opens this month's sleep chart once per logical day.
#include "platform/ProcessEnd.h"
#include "unitFunc.h"

int main() {
  RunProgram(ProgramStartSteps(), &RunLauncher);
}
