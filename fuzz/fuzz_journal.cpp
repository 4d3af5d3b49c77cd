// Journal files: arbitrary bytes as journal.sqlite. The journal opens (a damaged file moved aside, a fresh
// one in its place); a session it offers restores into tables that stay within their bounds.
#include "fuzzcheck.h"

#include "analysis/measurementlog.h"
#include "journal/journal.h"
#include "state/appstate.h"
#include "tables/tables.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    new QCoreApplication(*argc, *argv); // lives as long as the process, as the other harnesses' do
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QTemporaryDir dir;
    {
        QFile out(dir.filePath(Journal::fileName()));
        FUZZ_CHECK(out.open(QIODevice::WriteOnly));
        FUZZ_CHECK(out.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size));
    }
    Journal journal(dir.path());
    FUZZ_CHECK(journal.isOpen());
    if (const std::optional<Journal::Session> s = journal.unclean()) {
        AppState state;
        Tables tables(state);
        MeasurementLog log(4);
        (void)journal.restore(*s, tables, log);
        for (int n = 1; n <= Tables::Count; ++n)
            FUZZ_CHECK(tables.table(n).rows() >= 1 && tables.table(n).rows() <= Tables::FullRows);
        FUZZ_CHECK(tables.currentNumber() >= 1 && tables.currentNumber() <= Tables::Count);
    }
    FUZZ_CHECK(QDir(dir.path()).entryList({QStringLiteral("journal-damaged-*")}).size() <= 3);
    return 0;
}
