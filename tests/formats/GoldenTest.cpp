// The job fields of every profile's first choices against the reviewed records in
// default_job_fields.txt.
#include <QFile>
#include <QMap>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "formats/FormatCatalog.h"
#include "formats/OptionsModel.h"

using namespace formats;

namespace {

// "[index]" headers followed by "Name=value" lines; "#" lines and blank lines are skipped.
QMap<int, QStringList> ReadGolden() {
    QMap<int, QStringList> out;
    QFile file(QStringLiteral(TANDREL_FORMATS_GOLDEN));
    if (!file.open(QIODevice::ReadOnly)) return out;
    int current = -1;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            current = line.mid(1, line.size() - 2).toInt();
            out[current];
            continue;
        }
        out[current] << line;
    }
    return out;
}

}  // namespace

TEST(GoldenJobFields, DefaultsOfAllEightyProfiles) {
    const QMap<int, QStringList> golden = ReadGolden();
    ASSERT_EQ(golden.size(), 80) << TANDREL_FORMATS_GOLDEN;
    int compared = 0;
    for (const PickerTab& tab : PickerTabs()) {
        for (size_t i = 0; i < tab.items.size(); ++i) {
            const int index = tab.base + static_cast<int>(i);
            SCOPED_TRACE(index);
            const auto fields = DefaultJobFields(index, "/src/clip.avi", "/out");
            ASSERT_TRUE(fields.has_value());
            ASSERT_TRUE(golden.contains(index));
            const QStringList actual = ToText(*fields).split('\n', Qt::SkipEmptyParts);
            const QStringList& expected = golden[index];
            ASSERT_EQ(actual.size(), expected.size());
            for (int k = 0; k < actual.size(); ++k) EXPECT_EQ(actual[k], expected[k]);
            ++compared;
        }
    }
    EXPECT_EQ(compared, 80);
}
