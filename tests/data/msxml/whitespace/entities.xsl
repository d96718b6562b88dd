<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>
  <xsl:template match="/">
    <xsl:for-each select="job/u">[<xsl:value-of select="."/>]</xsl:for-each>
    <xsl:for-each select="job/list">[<xsl:value-of select="count(node())"/>]</xsl:for-each>
    <xsl:value-of select="concat('[', string-length(job/nl), ']')"/>
  </xsl:template>
</xsl:stylesheet>
