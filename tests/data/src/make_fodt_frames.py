#!/usr/bin/env python3
"""Writes the flat-ODF sources of the text box, caption and ruby documents (tests/data/src).

LibreOffice then writes them as .docx, .odt and .rtf, see ../SOURCES and regen.sh.
Run from this folder:  python3 make_fodt_frames.py
"""
import base64

from make_fodt import doc, png

FRAMES_AUTO = """
 <style:style style:name="Pc" style:family="paragraph"><style:paragraph-properties fo:text-align="center"/></style:style>
 <style:style style:name="Tbig" style:family="text"><style:text-properties fo:font-size="28pt" fo:font-weight="bold" style:font-size-asian="28pt" style:font-weight-asian="bold"/></style:style>
 <style:style style:name="frBox" style:family="graphic"><style:graphic-properties fo:border="1.5pt double #806000" fo:padding="0.3cm" style:wrap="none" style:vertical-pos="top" style:vertical-rel="paragraph" style:horizontal-pos="center" style:horizontal-rel="paragraph"/></style:style>
 <style:style style:name="frSide" style:family="graphic"><style:graphic-properties fo:border="0.5pt solid #000000" fo:padding="0.1cm" style:wrap="right" style:vertical-pos="top" style:vertical-rel="paragraph" style:horizontal-pos="left" style:horizontal-rel="paragraph"/></style:style>
 <style:style style:name="grRect" style:family="graphic"><style:graphic-properties draw:stroke="solid" svg:stroke-color="#003366" draw:fill="solid" draw:fill-color="#ddebf7" draw:textarea-vertical-align="middle" style:wrap="none" style:vertical-pos="from-top" style:horizontal-pos="from-left" style:vertical-rel="paragraph" style:horizontal-rel="paragraph"/></style:style>
"""


def frames_body(b64):
    return f"""
<text:p text:style-name="Standard">Before the boxes 框前文字.</text:p>
<text:p text:style-name="Standard"><draw:frame draw:style-name="frBox" draw:name="Certificate" text:anchor-type="paragraph" svg:width="14cm" draw:z-index="0"><draw:text-box fo:min-height="4cm">
<text:p text:style-name="Pc"><text:span text:style-name="Tbig">Certificate of Achievement</text:span></text:p>
<text:p text:style-name="Pc">荣誉证书 awarded to Li Wei 李伟</text:p>
</draw:text-box></draw:frame>Anchor paragraph of the certificate.</text:p>
<text:p text:style-name="Standard"><draw:frame draw:style-name="frSide" draw:name="Side" text:anchor-type="paragraph" svg:width="5cm" draw:z-index="1"><draw:text-box fo:min-height="1cm"><text:p text:style-name="Standard">Side note in a frame 侧栏</text:p></draw:text-box></draw:frame>Body text beside the side frame.</text:p>
<text:p text:style-name="Standard"><draw:rect draw:style-name="grRect" draw:name="Shape" text:anchor-type="paragraph" svg:x="1cm" svg:y="0.2cm" svg:width="8cm" svg:height="2cm" draw:z-index="2"><text:p text:style-name="Pc">Text in a drawn rectangle 矩形</text:p></draw:rect>Anchor paragraph of the rectangle.</text:p>
<text:p text:style-name="Standard"><draw:frame draw:name="Figure" text:anchor-type="paragraph" svg:width="8cm" draw:z-index="3"><draw:text-box fo:min-height="4cm"><text:p text:style-name="Pc"><draw:frame draw:name="Image" text:anchor-type="as-char" svg:width="8cm" svg:height="4cm" draw:z-index="4"><draw:image><office:binary-data>{b64}</office:binary-data></draw:image></draw:frame>Figure <text:sequence text:ref-name="refIllustration0" text:name="Illustration" text:formula="ooow:Illustration+1" style:num-format="1">1</text:sequence>: Gradient caption 渐变图</text:p></draw:text-box></draw:frame></text:p>
<text:p text:style-name="Standard">After the boxes 框后文字.</text:p>
"""


RUBY_AUTO = """
 <style:style style:name="Ru" style:family="ruby"><style:ruby-properties style:ruby-position="above" style:ruby-align="center"/></style:style>
"""
RUBY_BODY = """
<text:p text:style-name="Standard">Ruby test 注音:</text:p>
<text:p text:style-name="Standard">学习<text:ruby text:style-name="Ru"><text:ruby-base>基础</text:ruby-base><text:ruby-text>jīchǔ</text:ruby-text></text:ruby>知识，<text:ruby text:style-name="Ru"><text:ruby-base>漢字</text:ruby-base><text:ruby-text>かんじ</text:ruby-text></text:ruby> end.</text:p>
<text:p text:style-name="Standard">The line after the ruby 注音之后.</text:p>
"""

if __name__ == "__main__":
    b64 = base64.b64encode(png(120, 60)).decode()
    files = {
        "lo-textbox-frames.fodt": doc(frames_body(b64), FRAMES_AUTO),
        "lo-ruby.fodt": doc(RUBY_BODY, RUBY_AUTO),
    }
    for name, text in files.items():
        open(name, "w", encoding="utf-8").write(text)
        print("wrote", name)
