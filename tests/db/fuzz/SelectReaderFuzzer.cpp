// Fuzz entry for the layer's own readers of statement text: the SELECT shape, the literal
// rewriting for the driver, and bare table names. Each either answers or, for the rewriting,
// raises db::Error; nothing else may happen. Bytes are taken as UTF-8, invalid ones included.
#include "Error.h"
#include "SelectStatement.h"

#include <cstdint>
#include <cstdlib>

using namespace sqllumo::db;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto select = detail::ParseSelect(text)) {
        // What was read must come from the text itself.
        if (!select->tail.isEmpty() && !text.contains(select->tail))
            std::abort();
    }
    try {
        (void)detail::WithExactLiterals(text);
    } catch (const Error&) {
    }
    (void)detail::ParseTableName(text);
    return 0;
}
