<?xml version="1.0"?>
<!-- Text of several elements written in turns, with fragments, copies and attributes between. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:exsl="http://exslt.org/common" exclude-result-prefixes="exsl">
<xsl:output method="xml" indent="no"/>
<xsl:template match="/">
  <out>
    <xsl:text>a</xsl:text>
    <xsl:for-each select="//Point">
      <xsl:variable name="tree"><p code="{@code}"><xsl:value-of select="@id"/></p>text</xsl:variable>
      <xsl:value-of select="@id"/>
      <xsl:copy-of select="$tree"/>
      <xsl:value-of select="count(exsl:node-set($tree)/p)"/>
      <inner>
        <xsl:variable name="x">x<xsl:value-of select="@id"/></xsl:variable>
        <xsl:attribute name="x"><xsl:value-of select="$x"/></xsl:attribute>
        <xsl:value-of select="@code"/>
        <xsl:value-of select="$x"/>
      </inner>
      <xsl:value-of select="$tree"/>
      <xsl:value-of select="'&amp;&lt;'" disable-output-escaping="yes"/>
      <xsl:text>;</xsl:text>
    </xsl:for-each>
  </out>
</xsl:template>
</xsl:stylesheet>
