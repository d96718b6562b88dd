<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>
  <xsl:template match="/">
    <xsl:value-of select="concat('pre: ', count(report/pre/text()), '&#10;')"/>
    <xsl:value-of select="concat('inner: ', count(report/pre/inner/text()), '&#10;')"/>
    <xsl:value-of select="concat('[', report/p[1], ']&#10;')"/>
    <xsl:value-of select="concat('[', report/p[2], ']&#10;')"/>
  </xsl:template>
</xsl:stylesheet>
