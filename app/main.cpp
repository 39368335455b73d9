#include "common/Version.h"
#include "console/ConsoleApp.h"

#include <cstdio>
#include <cstring>

namespace {

const char* const kUsage = R"(Употреба: orvik [--help | --version] [опции на Qt]
Orvik: комплекс за изследване на аварийни процеси. Конзола за диагностичното устройство
по сериен порт: команди, показания спрямо граници, аварийни събития, графика на записите,
архив и журнал.

  -h, --help  показва този текст и излиза
  --version   показва версията и излиза

Приема и обичайните опции на Qt (например -platform offscreen). Настройките са в
~/.config/Orvik/Orvik.ini, когато програмата е инсталирана, иначе в Orvik.ini до нея.
Повече: man orvik; симулатор на устройството: orvik-devsim(1).
)";

} // namespace

int main(int argc, char** argv)
{
    // Answered before any application object exists: they need no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("orvik %s\n", orvik::kVersion);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
    }
    return RunConsole(argc, argv);
}
