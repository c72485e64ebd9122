// The main window's side of "Import Applications...": reading the installed
// applications, the dialog, and taking the chosen categories into the model
// the way the settings form's OK does.

#include "KVGUIFormUnit.h"

#include <memory>
#include <optional>
#include <thread>

#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QPointer>

#include "CategoryPanels.h"
#include "DebugFormUnit.h"
#include "DesktopEntries.h"
#include "Dialogs.h"
#include "ImportApplications.h"
#include "ImportFormUnit.h"
#include "Platform.h"

using namespace forms;

namespace {

const QString kImportCaption = QStringLiteral("Import Applications");

// Lists the installed applications on a thread of its own: with many
// entries that takes a while, and the window keeps painting meanwhile (a
// menu that just closed would otherwise stay drawn over it). Input waits
// until the list is read, under the busy cursor. When the program is asked
// to end meanwhile, it does not wait for the list: the thread is left to
// finish on its own, and the answer is nothing.
std::optional<std::vector<ImportEntry>> InstalledEntries()
{
    struct Listing {
        std::vector<platform::DesktopEntry> found;
        bool done = false;
    };
    auto listing = std::make_shared<Listing>();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QEventLoop loop;
    QPointer<QEventLoop> waiting(&loop);
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &loop, &QEventLoop::quit);
    std::thread([listing, waiting] {
        std::vector<platform::DesktopEntry> found = platform::InstalledApplications();
        // Handed over on the GUI thread, where the loop lives; a loop that
        // is gone by then takes nothing.
        QMetaObject::invokeMethod(qApp, [listing, waiting, found = std::move(found)]() mutable {
            listing->found = std::move(found);
            listing->done = true;
            if (waiting)
                waiting->quit();
        });
    }).detach();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    QApplication::restoreOverrideCursor();
    if (!listing->done)
        return std::nullopt;
    std::vector<ImportEntry> entries;
    for (const platform::DesktopEntry &e : listing->found) {
        ImportEntry entry{e.name.toStdString(), e.file.toStdString(), {}};
        for (const QString &c : e.categories)
            entry.categories.push_back(c.toStdString());
        entries.push_back(std::move(entry));
    }
    return entries;
}

QString Names(const std::vector<ImportProposal> &proposals, const std::vector<int> &indices)
{
    QStringList names;
    for (int i : indices)
        names << QString::fromStdString(proposals[static_cast<std::size_t>(i)].name);
    return names.join(QStringLiteral(", "));
}

void RefuseFull(QWidget *owner)
{
    Warn(owner,
         QStringLiteral("All %1 category slots are in use. Delete a category before importing applications.")
             .arg(kMaxCategories),
         kImportCaption);
}

} // namespace

void TKVGUIForm::ImportApplications1Click()
{
    // Not while the settings form edits the model, nor twice at once.
    if (!KVOP || !CategoryArea || KVOP->HasSnapshot() || (ImportForm && ImportForm->isVisible()))
        return;
    if (KVOP->FirstFreeCategory() < 0) {
        RefuseFull(this);
        return;
    }
    static bool listing = false;
    if (listing)
        return;
    listing = true;
    const std::optional<std::vector<ImportEntry>> installed = InstalledEntries();
    listing = false;
    // The program may have closed, or the settings form opened, meanwhile.
    if (!installed || !KVOP || !CategoryArea || KVOP->HasSnapshot())
        return;
    const std::vector<ImportProposal> proposals = ProposeCategories(*installed);
    if (proposals.empty()) {
        Warn(this, QStringLiteral("No installed applications were found."), kImportCaption);
        return;
    }
    if (!ImportForm)
        ImportForm = new TImportForm(this);
    ImportForm->Prepare(proposals, DefaultChoices(*KVOP, proposals), kMaxCategories - KVOP->CategoryCount());
    // The state is set before each showing: the window manager forgets it
    // when the dialog is hidden.
    platform::Windows().SetAbove(ImportForm, true);
    ImportForm->exec();
    // The program may have closed while the dialog was open.
    if (!KVOP || !CategoryArea || !ImportForm || !ImportForm->Accepted)
        return;
    ImportForm->Accepted = false;
    if (KVOP->HasSnapshot())
        return;
    const ImportResult result = ImportCategories(*KVOP, proposals, ImportForm->Chosen());
    if (result.added.empty()) {
        RefuseFull(this);
        return;
    }

    // As after the settings form's OK: every category in use gets its panel.
    RebuildCategoryPanels();
    ApplyFonts();
    ApplyAppearance();
    RefreshLayout(true);
    if (KVOP->debugMode)
        WriteSettingsDump();

    if (!result.notAdded.empty())
        Warn(this,
             QStringLiteral(
                 "There was no free category slot left for: %1. Delete a category to make room, then "
                 "import again.")
                 .arg(Names(proposals, result.notAdded)),
             kImportCaption);
}
