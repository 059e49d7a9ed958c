#include "CBenchMainView.h"

void CBenchMainView::SetListItems(const std::vector<std::string>& items)
{
    m_items.clear();
    for (const std::string& item : items) {
        m_items.push_back(item);
    }
}
