<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>
  <xsl:template match="/">
    <xsl:value-of select="concat('nodes under job: ', count(job/node()), '&#10;')"/>
    <xsl:value-of select="concat('text nodes: ', count(//text()), '&#10;')"/>
    <xsl:value-of select="concat('second point: [', job/point[2]/node()[1], ']&#10;')"/>
    <xsl:value-of select="concat('note has text: ', boolean(//note/text()), '&#10;')"/>
  </xsl:template>
</xsl:stylesheet>
