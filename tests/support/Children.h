// Finding children of a type that has no meta-object of its own: there
// findChildren<T*> matches every child of the nearest Qt base class.
#pragma once

#include <QList>
#include <QObject>

namespace ovel::test {

template <class T>
QList<T*> childrenOf(const QObject& root) {
  QList<T*> found;
  for (QObject* child : root.findChildren<QObject*>())
    if (auto* typed = dynamic_cast<T*>(child)) found << typed;
  return found;
}

// The one child of type T; null when there is none or more than one.
template <class T>
T* onlyChildOf(const QObject& root) {
  QList<T*> found = childrenOf<T>(root);
  return found.size() == 1 ? found.front() : nullptr;
}

}  // namespace ovel::test
