#include "service/host/command_line.h"
#include "service/host/service_form.h"

int main(int argc, char** argv) {
  const brivane::CommandLine line = brivane::ParseCommandLine(argc, argv);
  brivane::frmBrivaneSvc form(line.foreground);
  return form.Run(line.text);
}
