#pragma once
// An icon made on its first use: reading an icon theme, decoding its images
// or parsing an SVG file costs more than building the window that shows the
// icon, so start-up hands out icons that are made when they are first drawn
// or asked about. Once made, the icon answers exactly as the made one.
#include <QIcon>

#include <functional>

namespace zk {

// Whether the icon is null is answered without making it (layouts ask that
// of every button): drawable says what the made icon will answer.
QIcon LazyIcon(std::function<QIcon()> make, bool drawable = true);

// The icon of an image or SVG file (a resource path works too), drawable
// when the file exists.
QIcon LazyFileIcon(const QString &fileName);

} // namespace zk
