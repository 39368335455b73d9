// The validated edit's filter and commit on arbitrary text and settings: the filter's output
// passes its own filter unchanged, the typing filter never crashes at any position, and a
// commit leaves EditText that the validity filter keeps whole.

#include "FuzzInput.h"
#include "common/Cp1251.h"
#include "widgets/core/ValidateEditLogic.h"

#include <cmath>
#include <cstring>

using namespace validate_edit;

namespace {

double readDouble(FuzzInput& in)
{
    std::int32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v = std::int32_t(std::uint32_t(v) << 8 | in.byte());
    return double(v) / double(1 + in.byte() % 8 * 100);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput in(data, size);
    const auto format = TValidateEditDisplayFormat(in.byte() % (dfYear + 1));
    const std::uint8_t flags = in.byte();
    const double minValue = readDouble(in);
    const double maxValue = readDouble(in);
    const int decimals = in.byte() % 12;
    const QString checkChars = cp1251::decode(in.field());
    const QString text = cp1251::decode(in.field());
    const QString typed = cp1251::decode(in.rest());

    const QString filtered = filterText(format, checkChars, text);
    FUZZ_CHECK(filterText(format, checkChars, filtered) == filtered);
    for (int pos = 1; pos <= text.size() + 1 && pos <= 64; ++pos)
        (void)isValidChar(
            format, checkChars, pos <= text.size() ? text[pos - 1] : QChar('5'), text, pos, flags & 1);
    (void)parseInteger(text);

    QString shown;
    Host host;
    host.shownText = [&shown] { return shown; };
    host.setShownText = [&shown](const QString& s) { shown = s; };
    Model model(host);
    model.beginLoading();
    model.setDisplayFormat(format);
    if (format == dfCheckChars || format == dfNonCheckChars || format == dfCustom)
        model.setCheckChars(checkChars);
    model.setMinValue(minValue);
    model.setMaxValue(maxValue);
    model.setHasMinValue(flags & 2);
    model.setHasMaxValue(flags & 4);
    model.setZeroEmpty(flags & 8);
    model.setAllowEmpty(flags & 16);
    model.setDecimalPlaces(decimals);
    model.setTrimDecimals(flags & 32);
    if (flags & 64)
        model.setDisplayPrefix(QStringLiteral("$ "));
    if (flags & 128)
        model.setDisplaySuffix(QStringLiteral(" V"));
    model.endLoading();

    model.commit(text);
    const QString committed = model.editText();
    FUZZ_CHECK(filterText(model.displayFormat(), model.checkChars(), committed) == committed);
    (void)model.value();
    (void)model.displayText();

    // The operator types the rest key by key where the typing filter lets it, then commits.
    QString edit = shown;
    for (qsizetype i = 0; i < typed.size() && i < 256; ++i) {
        const int caret = int(i % (edit.size() + 1));
        if (model.acceptsKey(typed[i], edit, caret, false))
            edit.insert(caret, typed[i]);
    }
    model.operatorChanged(edit);
    model.commit(edit);
    FUZZ_CHECK(filterText(model.displayFormat(), model.checkChars(), model.editText()) == model.editText());
    model.revert();
    return 0;
}
