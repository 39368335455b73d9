// The calculator engine on arbitrary key sequences, pasted text included: it never crashes, the
// display always holds a short text, and the error state shows "Error".

#include "FuzzInput.h"
#include "common/Cp1251.h"
#include "widgets/core/CalcEngine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput in(data, size);
    const std::uint8_t opts = in.byte();
    const QString clipboard = cp1251::decode(in.field());
    const QByteArray keys = in.rest();

    // A comma locale too, so that both decimal separators are exercised.
    TCalcEngine engine(opts & 1 ? QLocale(QLocale::Bulgarian, QLocale::Bulgaria) : QLocale::c());
    engine.SetPrecision(opts >> 1 & 31);
    engine.OnPaste = [&clipboard]() -> std::optional<QString> { return clipboard; };
    QString copied;
    engine.OnCopy = [&copied](const QString& s) { copied = s; };

    for (char k : keys) {
        switch (k) {
        case 'M':
            engine.MemoryAdd();
            break;
        case 'S':
            engine.MemoryStore();
            break;
        case 'W':
            engine.MemoryRecall();
            break;
        case 'Z':
            engine.MemoryClear();
            break;
        case 'K':
            (void)engine.Confirm();
            break;
        default:
            engine.CalcKey(QChar(static_cast<unsigned char>(k)));
            break;
        }
        FUZZ_CHECK(!engine.DisplayText().isEmpty());
        FUZZ_CHECK(engine.DisplayText().size() <= 64);
        if (engine.Status() == cstError)
            FUZZ_CHECK(engine.DisplayText() == QStringLiteral("Error"));
        (void)engine.DisplayValue();
    }
    return 0;
}
