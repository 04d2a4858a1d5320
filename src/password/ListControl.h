#pragma once
// The list a member fills with user or role names: a combo box on screen, a plain list of
// texts on the console and in tests.

#include <QString>
#include <QStringList>

namespace sqllumo::password {

class ListControl {
public:
    virtual ~ListControl() = default;
    virtual void clear() = 0;
    virtual void AddItem(const QString& item) = 0;
    virtual int ListCount() const = 0;
    // -1: nothing selected.
    virtual int ListIndex() const = 0;
    virtual void setListIndex(int index) = 0;
};

// A list of texts that remembers its selection.
class TextList : public ListControl {
public:
    void clear() override
    {
        items_.clear();
        index_ = -1;
    }
    void AddItem(const QString& item) override { items_.append(item); }
    int ListCount() const override { return static_cast<int>(items_.size()); }
    int ListIndex() const override { return index_; }
    void setListIndex(int index) override { index_ = index; }
    const QStringList& items() const { return items_; }

private:
    QStringList items_;
    int index_ = -1;
};

} // namespace sqllumo::password
