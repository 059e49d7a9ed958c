#include "CLockKeyScanner.h"

#include "console/lockkey/CDriveFiles.h"

void CLockKeyScanner::Scan()
{
    m_entries.clear();
    const CDriveFiles files(m_system->Drives());
    // A and B are never searched.
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        const std::string root = std::string(1, letter) + ":\\";
        for (const std::string& name : files.Search(root + "dont_delete_*")) {
            const std::string folder = root + name;
            const std::string keyFile = folder + "\\" + folder.substr(folder.size() - 12);
            // A key folder that is refused (a link, another file system) is listed, so that
            // the refusal is shown; nothing behind it is looked at.
            const EDriveFileFault found = files.Locate(keyFile).fault;
            if (found == EDriveFileFault::Missing || found == EDriveFileFault::NotAFolder) {
                continue;
            }
            CLockKeyEntry entry(*m_system);
            entry.SetPath(keyFile);
            m_entries.push_back(entry);
        }
    }
}
