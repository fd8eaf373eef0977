// A program for StampelLib.exe to stamp. It answers 42, so that a run shows
// the stamped file is still a program that starts.
int main() { return 42; }
