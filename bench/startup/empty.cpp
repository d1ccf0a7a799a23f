// The yardstick for the launcher's start-up: a program that does nothing, built with the
// launcher's own compiler, flags and link options (bench/bench-startup.sh).
int main() {
  return 0;
}
