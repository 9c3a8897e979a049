// Draws the program's artwork: the splash background (splash.jpg, 307 x 207) and the program
// icon in 16 colours (upvrek-32.png with a transparent background, upvrek.ico for Windows).
// Built only on request (target make_artwork); run as  make_artwork <output directory>.
// Its outputs are committed under assets/, so a build never needs to run it.
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

// The 16 colours of the Windows VGA palette, in their customary order. Index 0 (black) doubles
// as the colour under the transparent pixels of the .ico, whose AND mask hides them.
const QRgb kVga[16] = {0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080,
                       0xFF008080, 0xFFC0C0C0, 0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00,
                       0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF};
enum Vga {
  Black,
  Maroon,
  Green,
  Olive,
  Navy,
  Purple,
  Teal,
  Silver,
  Grey,
  Red,
  Lime,
  Yellow,
  Blue,
  Fuchsia,
  Aqua,
  White
};

QImage Splash() {
  QImage img(307, 207, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, 207);
  sky.setColorAt(0.0, QColor(10, 36, 84));
  sky.setColorAt(0.55, QColor(22, 86, 132));
  sky.setColorAt(1.0, QColor(8, 30, 62));
  p.fillRect(img.rect(), sky);

  // A soft light behind the shelves.
  QRadialGradient glow(110, 95, 140);
  glow.setColorAt(0.0, QColor(120, 200, 230, 90));
  glow.setColorAt(1.0, QColor(120, 200, 230, 0));
  p.fillRect(img.rect(), glow);

  // Shelves of registered assets: rows of boxes in perspective, fading to the right.
  for (int row = 0; row < 3; ++row) {
    const int y = 48 + row * 30;
    p.setPen(QPen(QColor(160, 220, 240, 120), 1));
    p.drawLine(18, y + 22, 178, y + 22);
    for (int col = 0; col < 7; ++col) {
      const int x = 22 + col * 22 + (row % 2) * 6;
      const int h = 12 + ((col * 7 + row * 3) % 9);
      QColor c = QColor::fromHsv((190 + col * 9 + row * 13) % 360, 120, 230, 170 - col * 16);
      p.setPen(QPen(QColor(255, 255, 255, 110 - col * 12), 1));
      p.setBrush(c);
      p.drawRect(QRectF(x, y + 22 - h, 16, h));
    }
  }

  // An upward sweep: the upgrade.
  QPainterPath sweep;
  sweep.moveTo(10, 150);
  sweep.cubicTo(90, 140, 180, 110, 296, 40);
  p.setPen(QPen(QColor(140, 235, 255, 150), 3, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawPath(sweep);
  p.setBrush(QColor(140, 235, 255, 170));
  p.setPen(Qt::NoPen);
  p.drawPolygon(QPolygonF({QPointF(300, 36), QPointF(284, 40), QPointF(294, 52)}));

  // The program's name, large and faint, on the right.
  QFont name("WenQuanYi Zen Hei");
  name.setPixelSize(26);
  name.setBold(true);
  p.setFont(name);
  p.setPen(QColor(255, 255, 255, 200));
  p.drawText(QRect(190, 70, 110, 34), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8("资产"));
  p.setPen(QColor(180, 230, 255, 170));
  p.drawText(QRect(190, 100, 110, 34), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8("升级"));

  // A darker band under the start-up message (white text at 16, 152).
  QLinearGradient band(0, 140, 0, 207);
  band.setColorAt(0.0, QColor(0, 0, 0, 0));
  band.setColorAt(0.3, QColor(0, 10, 30, 150));
  band.setColorAt(1.0, QColor(0, 10, 30, 200));
  p.fillRect(QRect(0, 140, 307, 67), band);
  p.setPen(QPen(QColor(120, 200, 230, 160), 1));
  p.drawLine(12, 174, 295, 174);
  return img;
}

// The icon at 32 x 32 in palette indices; -1 is transparent.
std::vector<int> IconPixels() {
  // Drawn without antialiasing in exact palette colours, then read back as indices.
  QImage img(32, 32, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, false);
  auto colour = [](Vga v) { return QColor::fromRgb(kVga[v]); };
  // A filing cabinet: two drawers, silver handles.
  p.setPen(colour(Black));
  p.setBrush(colour(Navy));
  p.drawRect(3, 8, 20, 22);
  p.setBrush(colour(Blue));
  p.drawRect(5, 10, 16, 8);
  p.drawRect(5, 20, 16, 8);
  p.setPen(Qt::NoPen);
  p.setBrush(colour(Silver));
  p.drawRect(10, 13, 6, 2);
  p.drawRect(10, 23, 6, 2);
  p.setBrush(colour(Yellow));
  p.drawRect(6, 11, 3, 2);
  p.drawRect(6, 21, 3, 2);
  // An upward arrow beside it.
  p.setPen(colour(Black));
  p.setBrush(colour(Lime));
  p.drawPolygon(QPolygon({QPoint(23, 2), QPoint(31, 11), QPoint(26, 11), QPoint(26, 22),
                          QPoint(20, 22), QPoint(20, 11), QPoint(15, 11)}));
  p.setPen(colour(Green));
  p.drawLine(25, 12, 25, 21);
  p.end();

  std::vector<int> idx(32 * 32, -1);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const QRgb px = img.pixel(x, y);
      if (qAlpha(px) < 128) continue;
      int best = 0, best_d = 1 << 30;
      for (int i = 0; i < 16; ++i) {
        const int dr = qRed(px) - qRed(kVga[i]), dg = qGreen(px) - qGreen(kVga[i]),
                  db = qBlue(px) - qBlue(kVga[i]);
        const int d = dr * dr + dg * dg + db * db;
        if (d < best_d) best = i, best_d = d;
      }
      idx[y * 32 + x] = best;
    }
  return idx;
}

// The PNG: 8-bit indexed with the 16 colours; the transparent pixels take the slot of a
// colour the icon does not use (purple), made fully transparent.
QImage IconPng(const std::vector<int>& idx) {
  QImage img(32, 32, QImage::Format_Indexed8);
  QVector<QRgb> table(kVga, kVga + 16);
  table[Purple] = qRgba(0, 0, 0, 0);
  img.setColorTable(table);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const int i = idx[y * 32 + x];
      img.setPixel(x, y, i < 0 ? Purple : i);
    }
  return img;
}

void Put16(QByteArray& b, int v) { b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); }
void Put32(QByteArray& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 0xFF));
}

// A classic 4-bit .ico: one 32 x 32 image, 16-colour palette, XOR bitmap and AND mask.
QByteArray IconIco(const std::vector<int>& idx) {
  const int xor_size = 32 * 16, and_size = 32 * 4, palette_size = 16 * 4;
  QByteArray b;
  Put16(b, 0), Put16(b, 1), Put16(b, 1);  // ICONDIR
  b.append(char(32)).append(char(32)).append(char(16)).append(char(0));
  Put16(b, 1), Put16(b, 4);                           // planes, bits per pixel
  Put32(b, 40 + palette_size + xor_size + and_size);  // bytes of the image
  Put32(b, 6 + 16);                                   // its offset
  Put32(b, 40), Put32(b, 32), Put32(b, 64);           // BITMAPINFOHEADER: height counts the mask
  Put16(b, 1), Put16(b, 4);
  Put32(b, 0), Put32(b, xor_size + and_size), Put32(b, 0), Put32(b, 0), Put32(b, 16), Put32(b, 0);
  for (QRgb c : kVga)
    b.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c))).append(char(0));
  for (int y = 31; y >= 0; --y)  // bottom-up
    for (int x = 0; x < 32; x += 2) {
      const int a = std::max(idx[y * 32 + x], 0), c = std::max(idx[y * 32 + x + 1], 0);
      b.append(char((a << 4) | c));
    }
  for (int y = 31; y >= 0; --y)
    for (int byte = 0; byte < 4; ++byte) {
      int bits = 0;
      for (int k = 0; k < 8; ++k)
        if (idx[y * 32 + byte * 8 + k] < 0) bits |= 0x80 >> k;
      b.append(char(bits));
    }
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_artwork <output directory>\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  const std::vector<int> icon = IconPixels();
  bool ok = Splash().save(out.filePath("splash.jpg"), "JPEG", 92);
  ok = IconPng(icon).save(out.filePath("upvrek-32.png"), "PNG") && ok;
  QFile ico(out.filePath("upvrek.ico"));
  ok = ico.open(QIODevice::WriteOnly) && ico.write(IconIco(icon)) > 0 && ok;
  if (!ok) std::fprintf(stderr, "make_artwork: could not write into %s\n", argv[1]);
  return ok ? 0 : 1;
}
