#!/usr/bin/env python3
"""Writes the flat-ODF source documents in this folder (tests/data/src).

They are then converted by LibreOffice, see ../SOURCES and regen.sh:
    soffice --headless --convert-to rtf --outdir ../rtf  lo-*.fodt
Run from this folder:  python3 make_fodt.py
"""
import base64
import struct
import zlib

CJK = "AR PL SungtiL GB"      # from Debian fonts-arphic-gbsn00lp
SIMSUN = "SimSun"             # name only; rendered by substitution

HEAD = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:loext="urn:org:documentfoundation:names:experimental:office:xmlns:loext:1.0"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.text">
<office:font-face-decls>
 <style:font-face style:name="{cjk}" svg:font-family="'{cjk}'" style:font-family-generic="roman" style:font-pitch="variable"/>
 <style:font-face style:name="SimSun" svg:font-family="SimSun" style:font-family-generic="system" style:font-pitch="variable"/>
 <style:font-face style:name="DejaVu Serif" svg:font-family="'DejaVu Serif'" style:font-family-generic="roman" style:font-pitch="variable"/>
 <style:font-face style:name="DejaVu Sans" svg:font-family="'DejaVu Sans'" style:font-family-generic="swiss" style:font-pitch="variable"/>
</office:font-face-decls>
<office:styles>
 <style:default-style style:family="paragraph">
  <style:paragraph-properties style:tab-stop-distance="1.25cm"/>
  <style:text-properties style:font-name="DejaVu Serif" fo:font-size="12pt" fo:language="en" fo:country="US"
   style:font-name-asian="{asian}" style:font-size-asian="12pt" style:language-asian="zh" style:country-asian="CN"
   style:font-name-complex="DejaVu Sans" style:font-size-complex="12pt"/>
 </style:default-style>
 <style:style style:name="Standard" style:family="paragraph" style:class="text"/>
 <style:style style:name="Heading_20_1" style:display-name="Heading 1" style:family="paragraph" style:parent-style-name="Standard" style:default-outline-level="1">
  <style:paragraph-properties fo:margin-top="0.42cm" fo:margin-bottom="0.21cm" fo:keep-with-next="always"/>
  <style:text-properties fo:font-size="18pt" fo:font-weight="bold" style:font-size-asian="18pt" style:font-weight-asian="bold"/>
 </style:style>
</office:styles>
<office:automatic-styles>
{auto}
</office:automatic-styles>
<office:body><office:text>
{body}
</office:text></office:body></office:document>
"""


def doc(body, auto="", asian=CJK):
    return HEAD.format(cjk=CJK, asian=asian, auto=auto, body=body)


def esc(s):
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


# ---------------------------------------------------------------- (a) Chinese
A_AUTO = """
 <style:style style:name="Pc" style:family="paragraph"><style:paragraph-properties fo:text-align="center"/></style:style>
 <style:style style:name="Tbig" style:family="text"><style:text-properties fo:font-size="36pt" fo:font-weight="bold" style:font-size-asian="36pt" style:font-weight-asian="bold"/></style:style>
 <style:style style:name="Tred" style:family="text"><style:text-properties fo:color="#c00000" fo:font-size="48pt" fo:font-weight="bold" style:font-size-asian="48pt" style:font-weight-asian="bold"/></style:style>
 <style:style style:name="Tmid" style:family="text"><style:text-properties fo:font-size="24pt" style:font-size-asian="24pt" fo:color="#0050a0"/></style:style>
 <style:style style:name="Tb" style:family="text"><style:text-properties fo:font-weight="bold" style:font-weight-asian="bold"/></style:style>
 <style:style style:name="Ti" style:family="text"><style:text-properties fo:font-style="italic" style:font-style-asian="italic"/></style:style>
 <style:style style:name="Tu" style:family="text"><style:text-properties style:text-underline-style="solid" style:text-underline-width="auto" style:text-underline-color="font-color"/></style:style>
 <style:style style:name="Tsim" style:family="text"><style:text-properties style:font-name-asian="SimSun" fo:font-size="16pt" style:font-size-asian="16pt"/></style:style>
 <style:style style:name="Tgreen" style:family="text"><style:text-properties fo:color="#008000" fo:background-color="#ffff00"/></style:style>
"""
A_BODY = """
<text:p text:style-name="Pc"><text:span text:style-name="Tbig">欢迎光临</text:span></text:p>
<text:p text:style-name="Pc"><text:span text:style-name="Tred">停业</text:span> <text:span text:style-name="Tmid">前台</text:span></text:p>
<text:p text:style-name="Standard">本店今日<text:span text:style-name="Tb">停业</text:span>整理，请到<text:span text:style-name="Tb">前台</text:span>咨询。Closed today — please ask at the front desk.</text:p>
<text:p text:style-name="Standard">室外温度 25°C，湿度 60%。今晚放映：《悲惨世界》(<text:span text:style-name="Ti">Les Misérables</text:span>, Victor Hugo)。</text:p>
<text:p text:style-name="Standard">Western accents: Café crème, naïve façade, Ærøskøbing, Straße, Łódź, São Paulo, Ångström — 5 € / £3 / ¥20.</text:p>
<text:p text:style-name="Standard"><text:span text:style-name="Tu">下划线文字 underlined</text:span>，<text:span text:style-name="Tgreen">绿色高亮 green on yellow</text:span>，<text:span text:style-name="Tsim">宋体十六磅 SimSun 16pt</text:span>。</text:p>
<text:p text:style-name="Standard">全角标点：“引号”、『括号』、【方括号】……！？ GBK 范围字：镕、喆、堃、蓥。</text:p>
"""

# ---------------------------------------------------------------- (b) table
def cell(style, text, span=None, rspan=None, tstyle=None):
    a = f' table:style-name="{style}"' if style else ""
    if span:
        a += f' table:number-columns-spanned="{span}"'
    if rspan:
        a += f' table:number-rows-spanned="{rspan}"'
    t = f'<text:span text:style-name="{tstyle}">{esc(text)}</text:span>' if tstyle else esc(text)
    return f'<table:table-cell office:value-type="string"{a}><text:p text:style-name="Standard">{t}</text:p></table:table-cell>'


COVER = "<table:covered-table-cell/>"
B_AUTO = """
 <style:style style:name="Tab1" style:family="table"><style:table-properties style:width="16cm" table:align="left"/></style:style>
 <style:style style:name="Tab1.A" style:family="table-column"><style:table-column-properties style:column-width="3cm"/></style:style>
 <style:style style:name="Tab1.B" style:family="table-column"><style:table-column-properties style:column-width="5cm"/></style:style>
 <style:style style:name="Tab1.C" style:family="table-column"><style:table-column-properties style:column-width="4cm"/></style:style>
 <style:style style:name="Tab1.D" style:family="table-column"><style:table-column-properties style:column-width="4cm"/></style:style>
 <style:style style:name="Tab2" style:family="table"><style:table-properties style:width="9cm" table:align="center"/></style:style>
 <style:style style:name="Tab2.A" style:family="table-column"><style:table-column-properties style:column-width="4.5cm"/></style:style>
 <style:style style:name="Cbord" style:family="table-cell"><style:table-cell-properties fo:padding="0.1cm" fo:border="0.5pt solid #000000"/></style:style>
 <style:style style:name="Chead" style:family="table-cell"><style:table-cell-properties fo:background-color="#1f3864" fo:padding="0.1cm" fo:border="0.5pt solid #000000"/></style:style>
 <style:style style:name="Cyellow" style:family="table-cell"><style:table-cell-properties fo:background-color="#ffff99" fo:padding="0.1cm" fo:border="0.5pt solid #000000"/></style:style>
 <style:style style:name="Cgreen" style:family="table-cell"><style:table-cell-properties fo:background-color="#c6efce" fo:padding="0.1cm" fo:border="1.5pt solid #006100" style:vertical-align="middle"/></style:style>
 <style:style style:name="Cred" style:family="table-cell"><style:table-cell-properties fo:background-color="#ff0000" fo:padding="0.1cm" fo:border="0.5pt solid #000000"/></style:style>
 <style:style style:name="Cnone" style:family="table-cell"><style:table-cell-properties fo:padding="0.1cm" fo:border="none"/></style:style>
 <style:style style:name="Cnoneblue" style:family="table-cell"><style:table-cell-properties fo:background-color="#ddebf7" fo:padding="0.1cm" fo:border="none"/></style:style>
 <style:style style:name="Cbottom" style:family="table-cell"><style:table-cell-properties fo:padding="0.1cm" fo:border-left="none" fo:border-right="none" fo:border-top="none" fo:border-bottom="2pt double #000000"/></style:style>
 <style:style style:name="Twhite" style:family="text"><style:text-properties fo:color="#ffffff" fo:font-weight="bold" style:font-weight-asian="bold"/></style:style>
 <style:style style:name="Tyel" style:family="text"><style:text-properties fo:color="#ffff00" fo:font-weight="bold" style:font-weight-asian="bold" fo:font-size="16pt" style:font-size-asian="16pt"/></style:style>
"""
B_BODY = f"""
<text:p text:style-name="Standard">表格测试 Table test: shading, merged cells, borderless cells.</text:p>
<table:table table:name="Tab1" table:style-name="Tab1">
 <table:table-column table:style-name="Tab1.A"/><table:table-column table:style-name="Tab1.B"/>
 <table:table-column table:style-name="Tab1.C"/><table:table-column table:style-name="Tab1.D"/>
 <table:table-row>{cell("Chead","项目 Item",tstyle="Twhite")}{cell("Chead","说明 Description (white on dark blue)",tstyle="Twhite")}{cell("Chead","数量",tstyle="Twhite")}{cell("Chead","价格 Price",tstyle="Twhite")}</table:table-row>
 <table:table-row>{cell("Cyellow","合并两行 rowspan=2",rspan=2)}{cell("Cbord","跨两列 colspan=2 (B+C)",span=2)}{COVER}{cell("Cbord","25°C")}</table:table-row>
 <table:table-row>{COVER}{cell("Cbord","普通单元格")}{cell("Cgreen","绿色 green")}{cell("Cred","红底黄字",tstyle="Tyel")}</table:table-row>
 <table:table-row>{cell("Cnone","无边框 no border")}{cell("Cnoneblue","无边框浅蓝 no border, blue")}{cell("Cbottom","只有下边框 bottom only",span=2)}{COVER}</table:table-row>
 <table:table-row>{cell("Cbord","跨四列 colspan=4: 欢迎光临 Les Misérables",span=4)}{COVER}{COVER}{COVER}</table:table-row>
</table:table>
<text:p text:style-name="Standard">第二个表格较窄，居中 (narrower, centred table):</text:p>
<table:table table:name="Tab2" table:style-name="Tab2">
 <table:table-column table:style-name="Tab2.A" table:number-columns-repeated="2"/>
 <table:table-row>{cell("Chead","左 left",tstyle="Twhite")}{cell("Cyellow","右 right")}</table:table-row>
 <table:table-row>{cell("Cnone","停业")}{cell("Cnone","前台")}</table:table-row>
</table:table>
<text:p text:style-name="Standard">表格之后的段落 Paragraph after the tables.</text:p>
"""

# ---------------------------------------------------------------- (c) picture
def png(w, h):
    rows = []
    for y in range(h):
        row = bytearray([0])
        for x in range(w):
            r = min(255, (x // 40) * 36)
            g = min(255, (y // 40) * 80)
            b = 255 if ((x // 20) + (y // 20)) % 2 == 0 else 60
            row += bytes((r, g, b))
        rows.append(bytes(row))
    raw = zlib.compress(b"".join(rows), 9)

    def chunk(t, d):
        c = struct.pack(">I", len(d)) + t + d
        return c + struct.pack(">I", zlib.crc32(t + d) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", raw) + chunk(b"IEND", b""))


C_AUTO = """
 <style:style style:name="fr1" style:family="graphic"><style:graphic-properties style:vertical-pos="top" style:vertical-rel="baseline" style:horizontal-pos="center" style:horizontal-rel="paragraph"/></style:style>
"""


def c_body(b64):
    img = lambda name, w, h: (f'<draw:frame draw:style-name="fr1" draw:name="{name}" text:anchor-type="as-char" svg:width="{w}" svg:height="{h}" draw:z-index="0">'
                              f'<draw:image><office:binary-data>{b64}</office:binary-data></draw:image></draw:frame>')
    return f"""
<text:p text:style-name="Standard">图片测试：下面的 PNG 为 320×160 像素，显示为 4cm×2cm (scaled down).</text:p>
<text:p text:style-name="Standard">{img("pic-small", "4cm", "2cm")}</text:p>
<text:p text:style-name="Standard">同一图片按 8cm×4cm 显示 (same PNG at 8cm x 4cm):</text:p>
<text:p text:style-name="Standard">{img("pic-large", "8cm", "4cm")} 图后文字 text after picture.</text:p>
"""


# ---------------------------------------------------------------- (d) lists, spacing
D_AUTO = """
 <text:list-style style:name="Lbul">
  <text:list-level-style-bullet text:level="1" text:bullet-char="•"><style:list-level-properties text:list-level-position-and-space-mode="label-alignment"><style:list-level-label-alignment text:label-followed-by="listtab" text:list-tab-stop-position="1.27cm" fo:text-indent="-0.635cm" fo:margin-left="1.27cm"/></style:list-level-properties></text:list-level-style-bullet>
  <text:list-level-style-bullet text:level="2" text:bullet-char="◦"><style:list-level-properties text:list-level-position-and-space-mode="label-alignment"><style:list-level-label-alignment text:label-followed-by="listtab" text:list-tab-stop-position="1.905cm" fo:text-indent="-0.635cm" fo:margin-left="1.905cm"/></style:list-level-properties></text:list-level-style-bullet>
 </text:list-style>
 <text:list-style style:name="Lnum">
  <text:list-level-style-number text:level="1" style:num-suffix="." style:num-format="1"><style:list-level-properties text:list-level-position-and-space-mode="label-alignment"><style:list-level-label-alignment text:label-followed-by="listtab" text:list-tab-stop-position="1.27cm" fo:text-indent="-0.635cm" fo:margin-left="1.27cm"/></style:list-level-properties></text:list-level-style-number>
  <text:list-level-style-number text:level="2" style:num-suffix=")" style:num-format="a"><style:list-level-properties text:list-level-position-and-space-mode="label-alignment"><style:list-level-label-alignment text:label-followed-by="listtab" text:list-tab-stop-position="1.905cm" fo:text-indent="-0.635cm" fo:margin-left="1.905cm"/></style:list-level-properties></text:list-level-style-number>
 </text:list-style>
 <text:list-style style:name="Lcjk">
  <text:list-level-style-number text:level="1" style:num-prefix="（" style:num-suffix="）" style:num-format="一, 二, 三, ..."><style:list-level-properties text:list-level-position-and-space-mode="label-alignment"><style:list-level-label-alignment text:label-followed-by="listtab" text:list-tab-stop-position="1.5cm" fo:text-indent="-1cm" fo:margin-left="1.5cm"/></style:list-level-properties></text:list-level-style-number>
 </text:list-style>
 <style:style style:name="Pb" style:family="paragraph" style:list-style-name="Lbul"/>
 <style:style style:name="Pn" style:family="paragraph" style:list-style-name="Lnum"/>
 <style:style style:name="Pk" style:family="paragraph" style:list-style-name="Lcjk"/>
 <style:style style:name="P15" style:family="paragraph"><style:paragraph-properties fo:line-height="150%" fo:margin-bottom="0.2cm"/></style:style>
 <style:style style:name="P20" style:family="paragraph"><style:paragraph-properties fo:line-height="200%" fo:margin-bottom="0.2cm"/></style:style>
 <style:style style:name="Pex" style:family="paragraph"><style:paragraph-properties fo:line-height="0.6cm" fo:margin-bottom="0.2cm"/></style:style>
 <style:style style:name="Pmin" style:family="paragraph"><style:paragraph-properties style:line-height-at-least="0.9cm" fo:margin-bottom="0.2cm"/></style:style>
 <style:style style:name="Ptab" style:family="paragraph"><style:paragraph-properties>
   <style:tab-stops>
    <style:tab-stop style:position="3cm"/>
    <style:tab-stop style:position="8cm" style:type="center"/>
    <style:tab-stop style:position="14cm" style:type="right" style:leader-style="dotted" style:leader-text="."/>
    <style:tab-stop style:position="16cm" style:type="char" style:char="."/>
   </style:tab-stops></style:paragraph-properties></style:style>
 <style:style style:name="Tsup" style:family="text"><style:text-properties style:text-position="super 58%"/></style:style>
 <style:style style:name="Tsub" style:family="text"><style:text-properties style:text-position="sub 58%"/></style:style>
"""
LONG = "这是一段用于测试行距的较长中文文字，包含英文 words and more words，直到换行为止。" * 2
D_BODY = f"""
<text:p text:style-name="Standard">项目符号列表 Bulleted list:</text:p>
<text:list text:style-name="Lbul">
 <text:list-item><text:p text:style-name="Pb">第一项 first bullet</text:p></text:list-item>
 <text:list-item><text:p text:style-name="Pb">第二项 second bullet</text:p>
  <text:list><text:list-item><text:p text:style-name="Pb">二级 nested level 2</text:p></text:list-item>
   <text:list-item><text:p text:style-name="Pb">二级 another</text:p></text:list-item></text:list></text:list-item>
 <text:list-item><text:p text:style-name="Pb">第三项 third bullet</text:p></text:list-item>
</text:list>
<text:p text:style-name="Standard">编号列表 Numbered list:</text:p>
<text:list text:style-name="Lnum">
 <text:list-item><text:p text:style-name="Pn">一 one</text:p></text:list-item>
 <text:list-item><text:p text:style-name="Pn">二 two</text:p>
  <text:list><text:list-item><text:p text:style-name="Pn">a 子项</text:p></text:list-item>
   <text:list-item><text:p text:style-name="Pn">b 子项</text:p></text:list-item></text:list></text:list-item>
 <text:list-item><text:p text:style-name="Pn">三 three</text:p></text:list-item>
</text:list>
<text:p text:style-name="Standard">中文编号 Chinese numbering:</text:p>
<text:list text:style-name="Lcjk">
 <text:list-item><text:p text:style-name="Pk">停业通知</text:p></text:list-item>
 <text:list-item><text:p text:style-name="Pk">前台服务</text:p></text:list-item>
</text:list>
<text:p text:style-name="P15">1.5 倍行距 line spacing 1.5: {LONG}</text:p>
<text:p text:style-name="P20">双倍行距 double spacing: {LONG}</text:p>
<text:p text:style-name="Pex">固定行距 0.6cm exact: {LONG}</text:p>
<text:p text:style-name="Pmin">最小行距 0.9cm at-least: {LONG}</text:p>
<text:p text:style-name="Ptab">左<text:tab/>3cm left<text:tab/>8cm 居中<text:tab/>14cm right<text:tab/>123.45</text:p>
<text:p text:style-name="Ptab">名称<text:tab/>Item<text:tab/>中<text:tab/>价格<text:tab/>7.5</text:p>
<text:p text:style-name="Standard">E = mc<text:span text:style-name="Tsup">2</text:span>, H<text:span text:style-name="Tsub">2</text:span>O, 25<text:span text:style-name="Tsup">°</text:span>C, x<text:span text:style-name="Tsub">i</text:span><text:span text:style-name="Tsup">n</text:span>, 第1<text:span text:style-name="Tsup">st</text:span>。</text:p>
"""

# ---------------------------------------------------------------- (e) multi-page
E_AUTO = """
 <style:style style:name="Psb" style:family="paragraph"><style:paragraph-properties fo:margin-top="0.5cm" fo:margin-bottom="0.1cm" fo:text-indent="0.85cm"/></style:style>
 <style:style style:name="Psb2" style:family="paragraph"><style:paragraph-properties fo:margin-top="1.2cm" fo:margin-bottom="0cm"/><style:text-properties fo:font-size="16pt" fo:font-weight="bold" style:font-size-asian="16pt" style:font-weight-asian="bold"/></style:style>
 <style:style style:name="Pbreak" style:family="paragraph"><style:paragraph-properties fo:break-before="page" fo:margin-top="0.8cm"/><style:text-properties fo:font-size="16pt" style:font-size-asian="16pt"/></style:style>
"""


def e_body(poems):
    out = []
    n = 0
    for i, (title, lines) in enumerate(poems):
        style = "Pbreak" if i in (12,) else "Psb2"
        out.append(f'<text:p text:style-name="{style}">{esc(title)}</text:p>')
        for ln in lines:
            n += 1
            out.append(f'<text:p text:style-name="Psb">{esc(ln)} ({n})</text:p>')
    return "\n".join(out)


def poems():
    # Tang poems (public domain) taken from Debian fortunes-zh tang300
    txt = open("tang300-excerpt.utf8.txt", encoding="utf-8").read()
    res = []
    for blk in txt.split("%\n"):
        ls = [l for l in blk.strip().split("\n") if l]
        if len(ls) >= 3:
            res.append((ls[0] + " " + ls[1], ls[2:]))
    return res


# ---------------------------------------------------------------- (f) RTL
F_AUTO = """
 <style:style style:name="Prtl" style:family="paragraph"><style:paragraph-properties fo:text-align="end" style:writing-mode="rl-tb"/><style:text-properties style:font-size-complex="16pt" style:language-complex="ar" style:country-complex="EG"/></style:style>
 <style:style style:name="Pheb" style:family="paragraph"><style:paragraph-properties fo:text-align="end" style:writing-mode="rl-tb"/><style:text-properties style:font-size-complex="16pt" style:language-complex="he" style:country-complex="IL"/></style:style>
 <style:style style:name="Tcb" style:family="text"><style:text-properties style:font-weight-complex="bold" fo:font-weight="bold"/></style:style>
"""
F_BODY = """
<text:p text:style-name="Standard">Right-to-left test (Arabic and Hebrew paragraphs, with embedded Latin and digits):</text:p>
<text:p text:style-name="Prtl">مرحبا بكم في <text:span text:style-name="Tcb">المتجر</text:span>. درجة الحرارة 25°C اليوم. Welcome!</text:p>
<text:p text:style-name="Prtl">المتجر مغلق اليوم، يرجى مراجعة مكتب الاستقبال رقم 123.</text:p>
<text:p text:style-name="Pheb">ברוכים הבאים <text:span text:style-name="Tcb">לחנות</text:span>. הטמפרטורה היום 25°C. Les Misérables.</text:p>
<text:p text:style-name="Pheb">החנות סגורה היום, נא לפנות לדלפק הקבלה מספר 456.</text:p>
<text:p text:style-name="Standard">LTR paragraph after: 欢迎光临 / مرحبا / שלום.</text:p>
"""

if __name__ == "__main__":
    p = png(320, 160)
    open("gradient-320x160.png", "wb").write(p)
    b64 = base64.b64encode(p).decode()
    files = {
        "lo-zh-mixed.fodt": doc(A_BODY, A_AUTO),
        "lo-table-shading-merged.fodt": doc(B_BODY, B_AUTO),
        "lo-picture-scaled.fodt": doc(c_body(b64), C_AUTO),
        "lo-lists-spacing-tabs.fodt": doc(D_BODY, D_AUTO),
        "lo-multipage-zh-sb.fodt": doc(e_body(poems()), E_AUTO, asian=SIMSUN),
        "lo-rtl-arabic-hebrew.fodt": doc(F_BODY, F_AUTO),
    }
    # HTML source for the \\shppict/\\picscalex + \\nonshppict WMF form of pictures
    small = png(120, 60)
    open("gradient-120x60.png", "wb").write(small)
    sb = base64.b64encode(small).decode()
    files["lo-picture-html-scaled.html"] = f"""<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>picture test</title></head><body>
<p>HTML 图片: a 120&#215;60 pixel PNG shown at 60&#215;30 px (scaled to 50%):</p>
<p><img src="data:image/png;base64,{sb}" width="60" height="30" alt="gradient-small"> 图后文字 after.</p>
<p>Same PNG at its natural size:</p>
<p><img src="data:image/png;base64,{sb}" alt="gradient-natural"></p>
</body></html>
"""
    for name, text in files.items():
        open(name, "w", encoding="utf-8").write(text)
        print("wrote", name)
