// portelle: carries a Bastionel server's configuration to another
// installation in one archive.
#include <string>
#include <vector>

#include "app/qt/PortelleQtApp.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(platform::FromSystemCodePage(argv[i]));
  CPortelleQtApp app;
  app.InitInstance(arguments);
  return app.ExitInstance();
}
