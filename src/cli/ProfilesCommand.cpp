// tandrel-cli profiles: the catalogue as the picker offers it — index, tab, caption and output
// extension; with --json also each profile's lists and the job fields of its defaults.
#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

#include "cli/Commands.h"
#include "formats/FormatCatalog.h"
#include "formats/OptionsModel.h"

using namespace formats;

namespace {

QJsonObject profileJson(int index, const PickerTab& tab, const PickerItem& item) {
    const FormatProfile& p = *FindProfile(index);
    QJsonObject lists;
    for (Slot slot : kAllSlots) {
        const SlotChoice& choice = p.Choice(slot);
        const ChoiceList* list = FindChoiceList(choice.list);
        lists.insert(QLatin1String(SlotKey(slot)),
                     QJsonObject{{"list", QString::fromUtf8(choice.list)},
                                 {"items", QJsonArray::fromStringList(list->Items())},
                                 {"default", choice.position},
                                 {"defaultText", list->Item(choice.position)}});
    }
    // The fields "确定" gives for the defaults, with a placeholder source in the current folder.
    const auto fields = DefaultJobFields(index, QStringLiteral("SOURCE"), QStringLiteral("."));
    QJsonObject defaults;
    for (const QString& line : ToText(*fields).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        defaults.insert(line.left(eq), line.mid(eq + 1));
    }
    return QJsonObject{{"index", index},
                       {"tab", QString::fromUtf8(tab.caption)},
                       {"caption", QString::fromUtf8(item.caption)},
                       {"extension", QString::fromUtf8(p.fileExtension)},
                       {"extensionTag", QString::fromUtf8(p.extensionTag)},
                       {"audioOnly", p.audioOnly},
                       {"container", QString::fromUtf8(p.forcedContainer)},
                       {"discTarget", QString::fromUtf8(p.discTarget)},
                       {"lists", lists},
                       {"defaults", defaults}};
}

}  // namespace

int RunProfiles(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Lists the output profiles in picker order: index, tab, caption and "
                       "output extension."));
    parser.addHelpOption();
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("One JSON array with each profile's lists, "
                                                 "default choices and default job fields."));
    parser.addOption(json);
    if (!parser.parse(args) || !parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "tandrel-cli profiles: %s\n",
                     parser.errorText().isEmpty() ? "no arguments expected"
                                                  : parser.errorText().toLocal8Bit().constData());
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        const QString help = parser.helpText();
        std::printf("Usage: tandrel-cli profiles [--json]\n%s",
                    help.mid(help.indexOf(QLatin1Char('\n')) + 1).toLocal8Bit().constData());
        return 0;
    }
    QJsonArray all;
    for (const PickerTab& tab : PickerTabs()) {
        for (size_t i = 0; i < tab.items.size(); ++i) {
            const int index = tab.base + static_cast<int>(i);
            if (!FindProfile(index)) continue;
            if (parser.isSet(json)) {
                all.append(profileJson(index, tab, tab.items[i]));
            } else {
                std::printf("%d\t%s\t%s\t%s\n", index, tab.caption, tab.items[i].caption,
                            FindProfile(index)->fileExtension.data());
            }
        }
    }
    if (parser.isSet(json))
        std::printf("%s\n", QJsonDocument(all).toJson(QJsonDocument::Indented).constData());
    return 0;
}
